// A counting allocator for the benchmark binaries: malloc and its kin wrap glibc's own, so that a
// benchmark can tell how much heap one run of it holds and how many blocks it asks for.
#pragma once

#include <stdint.h>

struct HeapTally {
    int64_t allocations;    // blocks handed to the counting thread
    int64_t allocatedBytes; // their usable sizes, summed
    int64_t liveBytes;      // of those, what is still held, whichever thread freed the rest
    int64_t peakBytes;      // the most held at once
    bool overflowed;        // more blocks were held at once than the tally follows: peak is low
};

// Counts the calling thread's blocks from zero until HeapCountingStop on the same thread. One
// thread counts at a time; the JVM's own threads are never counted.
void HeapCountingStart();
HeapTally HeapCountingStop();

// Every allocation the calling thread has made since it started, counted or not: the difference
// over a loop is what the loop allocated.
uint64_t HeapAllocationsOfThisThread();
