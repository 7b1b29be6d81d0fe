// Every block the agents and the common runtime take, through one seam: these functions do what
// malloc, calloc, realloc, strdup and free do, after asking the allocation hook, which a test
// points at the fault plan of the Linux layer so that a sweep can refuse the k-th block of a run
// and reach every branch that copes with memory running out. The product sets no hook: each
// block then costs one load of a null pointer more.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

// Whether the next block, of so many bytes, may be had; false refuses it (with errno ENOMEM set).
// Null: always.
typedef bool (*AllocationHook)(size_t bytes);
void SetAllocationHook(AllocationHook hook);

extern std::atomic<AllocationHook> g_allocationHook;

inline bool AllocationRefused(size_t bytes) {
    AllocationHook hook = g_allocationHook.load();
    return hook != nullptr && !hook(bytes);
}

inline void* LibraryMalloc(size_t size) {
    return AllocationRefused(size) ? nullptr : malloc(size);
}

inline void* LibraryCalloc(size_t count, size_t size) {
    // A product that does not fit is a block no memory holds: calloc refuses it too.
    size_t bytes = count != 0 && size > SIZE_MAX / count ? SIZE_MAX : count * size;
    return AllocationRefused(bytes) ? nullptr : calloc(count, size);
}

inline void* LibraryRealloc(void* block, size_t size) {
    return AllocationRefused(size) ? nullptr : realloc(block, size);
}

inline char* LibraryStrdup(const char* text) {
    return AllocationRefused(strlen(text) + 1) ? nullptr : strdup(text);
}

// A release never fails and is never refused.
inline void LibraryFree(void* block) {
    free(block);
}
