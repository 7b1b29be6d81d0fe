// The layer's memory, every block of it asked of the fault plan first (AllocationAllowed), so
// that a sweep can refuse the k-th allocation of a run wherever it falls: blocks through the
// functions below, and the blocks of the standard containers through GuardMemory, which also
// turns memory that runs out under a container into the error Windows gives, never into an
// exception past the layer. Releases go straight to free: a release never fails.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/Errors.h"

#include <stddef.h>

// As malloc, calloc, realloc, strdup and strndup: null, with errno ENOMEM, for a block refused.
void* LayerMalloc(size_t size);
void* LayerCalloc(size_t count, size_t size);
void* LayerRealloc(void* block, size_t size);
char* LayerStrdup(const char* text);
char* LayerStrndup(const char* text, size_t length);

// Runs the work of a call that builds standard containers. Memory that runs out anywhere in it
// (bad_alloc, or length_error for a size no memory holds: nothing else in the layer throws) ends
// the work, its holders releasing what it took, and the call answers outOfMemory(its area's
// error), as Windows answers a call short of memory. While the work runs, the containers'
// allocations are the plan's to count and refuse (ContainerAllocationScope). Whatever the work
// holds without a holder must not be held across a container's allocation.
template <typename Work, typename OutOfMemory>
auto GuardMemory(LayerCall call, Work work, OutOfMemory outOfMemory) noexcept -> decltype(work()) {
    ContainerAllocationScope counted;
    try {
        return work();
    } catch (...) {
        return outOfMemory(LayerCallOutOfMemoryError(call));
    }
}

// For a function that returns its status (an LSTATUS, a PDH_STATUS).
template <typename Work> auto GuardMemoryStatus(LayerCall call, Work work) noexcept {
    using Status = decltype(work());
    return GuardMemory(call, work, [](DWORD error) { return static_cast<Status>(error); });
}

// For a function that sets its last error and returns failure.
template <typename Result, typename Work>
Result GuardMemoryLastError(LayerCall call, Result failure, Work work) noexcept {
    return GuardMemory(call, work, [failure](DWORD error) {
        SetLastError(error);
        return failure;
    });
}
