#include "Platform/Posix/common/Handles.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdint.h>
#include <stdlib.h>

#include <mutex>

namespace {

// Windows hands out handles well beyond this; the cap only stops a leak from eating memory.
constexpr size_t kMaxHandles = size_t{1} << 20;
constexpr size_t kInitialCapacity = 64;

// Constant-initialised: the table works before any static initialiser has run.
std::mutex g_tableLock;
HandleObject** g_slots = nullptr;
size_t g_capacity = 0;
size_t g_firstMaybeFree = 0;
size_t g_openCount = 0;

HANDLE HandleFromSlot(size_t slot) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((slot + 1) * 4));
}

// The slot of a well-formed handle value, or SIZE_MAX.
size_t SlotFromHandle(HANDLE handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || value % 4 != 0) {
        return SIZE_MAX;
    }
    size_t slot = static_cast<size_t>(value / 4 - 1);
    return slot < g_capacity ? slot : SIZE_MAX;
}

bool GrowTableLocked() {
    size_t newCapacity = g_capacity == 0 ? kInitialCapacity : g_capacity * 2;
    if (newCapacity > kMaxHandles) {
        return false;
    }
    void* grown = LayerRealloc(g_slots, newCapacity * sizeof(HandleObject*));
    if (grown == nullptr) {
        return false;
    }
    g_slots = static_cast<HandleObject**>(grown);
    for (size_t i = g_capacity; i < newCapacity; ++i) {
        g_slots[i] = nullptr;
    }
    g_capacity = newCapacity;
    return true;
}

// Lowest free slot, as Windows reuses low handle values; SIZE_MAX when full and unable to grow.
size_t FindFreeSlotLocked() {
    for (size_t i = g_firstMaybeFree; i < g_capacity; ++i) {
        if (g_slots[i] == nullptr) {
            return i;
        }
    }
    size_t firstNew = g_capacity;
    return GrowTableLocked() ? firstNew : SIZE_MAX;
}

HandleObject* TakeSlotLocked(HANDLE handle, bool (*accepts)(HandleKind, HandleKind),
                             HandleKind kind) {
    size_t slot = SlotFromHandle(handle);
    if (slot == SIZE_MAX || g_slots[slot] == nullptr || !accepts(g_slots[slot]->kind, kind)) {
        return nullptr;
    }
    HandleObject* object = g_slots[slot];
    g_slots[slot] = nullptr;
    --g_openCount;
    if (slot < g_firstMaybeFree) {
        g_firstMaybeFree = slot;
    }
    return object;
}

bool SameKind(HandleKind actual, HandleKind wanted) {
    return actual == wanted;
}

bool IsKernelObject(HandleKind actual, HandleKind) {
    return actual == HandleKind::File;
}

BOOL CloseMatching(HANDLE handle, bool (*accepts)(HandleKind, HandleKind), HandleKind kind) {
    HandleObject* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        object = TakeSlotLocked(handle, accepts, kind);
    }
    if (object == nullptr) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    HandleObjectRelease(object);
    return TRUE;
}

} // namespace

void HandleObjectInit(HandleObject* object, HandleKind kind, void (*destroy)(HandleObject*)) {
    object->kind = kind;
    object->references = 1;
    object->destroy = destroy;
}

void HandleObjectRelease(HandleObject* object) {
    unsigned remaining = 0;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        remaining = --object->references;
    }
    if (remaining == 0) {
        object->destroy(object);
    }
}

HANDLE HandleInsert(HandleObject* object) {
    size_t slot = SIZE_MAX;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        slot = FindFreeSlotLocked();
        if (slot != SIZE_MAX) {
            g_slots[slot] = object;
            g_firstMaybeFree = slot + 1;
            ++g_openCount;
        }
    }
    if (slot == SIZE_MAX) {
        HandleObjectRelease(object);
        FailWith(g_capacity >= kMaxHandles ? ERROR_TOO_MANY_OPEN_FILES : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return HandleFromSlot(slot);
}

HandleObject* HandleAcquire(HANDLE handle, HandleKind kind) {
    HandleObject* object = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        size_t slot = SlotFromHandle(handle);
        object = slot == SIZE_MAX ? nullptr : g_slots[slot];
        if (object != nullptr && object->kind == kind) {
            ++object->references;
        } else {
            object = nullptr;
        }
    }
    if (object == nullptr) {
        FailWith(ERROR_INVALID_HANDLE);
    }
    return object;
}

bool HandleIsOpen(HANDLE handle, HandleKind kind) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    size_t slot = SlotFromHandle(handle);
    return slot != SIZE_MAX && g_slots[slot] != nullptr && g_slots[slot]->kind == kind;
}

BOOL HandleClose(HANDLE handle, HandleKind kind) {
    return CloseMatching(handle, SameKind, kind);
}

BOOL HandleCloseKernelObject(HANDLE handle) {
    return CloseMatching(handle, IsKernelObject, HandleKind::File);
}

size_t HandleOpenCount() {
    std::lock_guard<std::mutex> guard(g_tableLock);
    return g_openCount;
}
