#include "bench/HeapCounting.h"

#include <errno.h>
#include <malloc.h>
#include <stddef.h>

#include <atomic>

extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* block);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {

// The blocks handed out while counting, by address: open addressing with linear probing, and a
// removal that shifts the rest of its run back, so that no tombstones pile up over the millions of
// blocks a run asks for and gives back. Half full is as far as it goes.
constexpr int kSlotBits = 21;
constexpr size_t kSlots = size_t{1} << kSlotBits;
constexpr size_t kMostHeld = kSlots / 2;

struct Slot {
    uintptr_t address;
    size_t size;
};

Slot g_slots[kSlots];
size_t g_held;
// Read without the lock by every free of every thread: zero outside a counted run.
std::atomic<size_t> g_heldHint(0);
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;
HeapTally g_tally;

__thread bool t_counting;
__thread uint64_t t_allocations;

// A spin lock, since a mutex could itself allocate or be what is being measured.
class TallyGuard {
  public:
    TallyGuard() {
        while (g_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~TallyGuard() { g_lock.clear(std::memory_order_release); }
    TallyGuard(const TallyGuard&) = delete;
    TallyGuard& operator=(const TallyGuard&) = delete;
};

size_t HomeOf(uintptr_t address) {
    return (size_t)(((uint64_t)address >> 4) * 0x9E3779B97F4A7C15ull >> (64 - kSlotBits));
}

size_t Next(size_t slot) {
    return (slot + 1) & (kSlots - 1);
}

void Remember(void* block) {
    size_t size = malloc_usable_size(block);
    TallyGuard guard;
    g_tally.allocations += 1;
    g_tally.allocatedBytes += (int64_t)size;
    if (g_held >= kMostHeld) {
        g_tally.overflowed = true;
        return;
    }
    size_t slot = HomeOf((uintptr_t)block);
    while (g_slots[slot].address != 0) {
        slot = Next(slot);
    }
    g_slots[slot] = {(uintptr_t)block, size};
    g_heldHint.store(++g_held, std::memory_order_relaxed);
    g_tally.liveBytes += (int64_t)size;
    if (g_tally.liveBytes > g_tally.peakBytes) {
        g_tally.peakBytes = g_tally.liveBytes;
    }
}

// Empties a slot and moves back every later entry of its run that may live there.
void Vacate(size_t hole) {
    for (size_t slot = Next(hole); g_slots[slot].address != 0; slot = Next(slot)) {
        size_t home = HomeOf(g_slots[slot].address);
        bool staysPut = hole < slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
        if (!staysPut) {
            g_slots[hole] = g_slots[slot];
            hole = slot;
        }
    }
    g_slots[hole] = {0, 0};
}

// The size a counted block was remembered with, or 0 for a block handed out before counting.
size_t Forget(void* block) {
    TallyGuard guard;
    size_t slot = HomeOf((uintptr_t)block);
    while (g_slots[slot].address != 0 && g_slots[slot].address != (uintptr_t)block) {
        slot = Next(slot);
    }
    size_t size = g_slots[slot].size;
    if (g_slots[slot].address == 0) {
        return 0;
    }
    Vacate(slot);
    g_heldHint.store(--g_held, std::memory_order_relaxed);
    g_tally.liveBytes -= (int64_t)size;
    return size;
}

void* Noted(void* block) {
    if (block != nullptr) {
        ++t_allocations;
        if (t_counting) {
            Remember(block);
        }
    }
    return block;
}

void ForgetIfCounted(void* block) {
    if (block != nullptr && g_heldHint.load(std::memory_order_relaxed) > 0) {
        Forget(block);
    }
}

} // namespace

void HeapCountingStart() {
    TallyGuard guard;
    g_tally = {};
    t_counting = true;
}

HeapTally HeapCountingStop() {
    t_counting = false;
    TallyGuard guard;
    for (size_t slot = 0; g_held > 0 && slot < kSlots; ++slot) {
        if (g_slots[slot].address != 0) {
            g_slots[slot] = {0, 0};
            --g_held;
        }
    }
    g_heldHint.store(0, std::memory_order_relaxed);
    return g_tally;
}

uint64_t HeapAllocationsOfThisThread() {
    return t_allocations;
}

// The sanitizers bring allocators of their own, which these would displace.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {

void* malloc(size_t size) noexcept {
    return Noted(__libc_malloc(size));
}

void* calloc(size_t count, size_t size) noexcept {
    return Noted(__libc_calloc(count, size));
}

void free(void* block) noexcept {
    ForgetIfCounted(block);
    __libc_free(block);
}

// Forgotten first, since once glibc has it back another thread may be handed the same address.
// A failed growth leaves the old block where it was: it is remembered again.
void* realloc(void* block, size_t size) noexcept {
    size_t counted = 0;
    if (block != nullptr && g_heldHint.load(std::memory_order_relaxed) > 0) {
        counted = Forget(block);
    }
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr && block != nullptr && size != 0) {
        if (counted != 0) {
            Remember(block);
        }
        return nullptr;
    }
    return Noted(moved);
}

void* memalign(size_t alignment, size_t size) noexcept {
    return Noted(__libc_memalign(alignment, size));
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
    return Noted(__libc_memalign(alignment, size));
}

int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
    if (alignment == 0 || alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* aligned = __libc_memalign(alignment, size);
    if (aligned == nullptr) {
        return ENOMEM;
    }
    *block = Noted(aligned);
    return 0;
}

void* valloc(size_t size) noexcept {
    return Noted(__libc_valloc(size));
}

void* pvalloc(size_t size) noexcept {
    return Noted(__libc_pvalloc(size));
}

} // extern "C"
#endif
