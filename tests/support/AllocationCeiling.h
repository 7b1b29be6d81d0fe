// Blocks refused on purpose, so that a case can reach what an export does when calloc fails: on
// the calling thread only, calloc of at least a given size returns null (errno ENOMEM) while the
// object lives, after letting the first few such requests through. The test binary's calloc
// wraps glibc's own to do it; under a sanitizer, whose allocator that would displace, nothing is
// refused and Available() is false.
#pragma once

#include <stddef.h>

class ScopedAllocationCeiling {
  public:
    ScopedAllocationCeiling(size_t bytes, unsigned allowed);
    ~ScopedAllocationCeiling();
    ScopedAllocationCeiling(const ScopedAllocationCeiling&) = delete;
    ScopedAllocationCeiling& operator=(const ScopedAllocationCeiling&) = delete;

    static bool Available();
    // The requests refused so far.
    unsigned refused() const;
};
