#include "tests/support/AllocationCeiling.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

namespace {

__thread size_t t_ceiling; // 0: nothing refused
__thread unsigned t_allowed;
__thread unsigned t_refused;
} // namespace

ScopedAllocationCeiling::ScopedAllocationCeiling(size_t bytes, unsigned allowed) {
    t_allowed = allowed;
    t_refused = 0;
    t_ceiling = bytes;
}

ScopedAllocationCeiling::~ScopedAllocationCeiling() {
    t_ceiling = 0;
}

unsigned ScopedAllocationCeiling::refused() const {
    return t_refused;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
bool ScopedAllocationCeiling::Available() {
    return false;
}
#else
bool ScopedAllocationCeiling::Available() {
    return true;
}

namespace {

bool Refuses(size_t count, size_t size) {
    size_t bytes = SIZE_MAX;
    if (t_ceiling == 0 || (!__builtin_mul_overflow(count, size, &bytes) && bytes < t_ceiling)) {
        return false;
    }
    if (t_allowed > 0) {
        --t_allowed;
        return false;
    }
    ++t_refused;
    errno = ENOMEM;
    return true;
}

} // namespace

extern "C" {
void* __libc_calloc(size_t count, size_t size);

void* calloc(size_t count, size_t size) noexcept {
    return Refuses(count, size) ? nullptr : __libc_calloc(count, size);
}
}
#endif
