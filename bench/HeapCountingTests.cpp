#include "bench/HeapCounting.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

// Kept where the compiler cannot see them, so that no malloc and free pair is folded away.
void* volatile g_kept;

void* Allocate(size_t size) {
    void* block = malloc(size);
    g_kept = block;
    return block;
}

int64_t Usable(void* block) {
    return (int64_t)malloc_usable_size(block);
}

TEST(HeapCounting, PeakIsTheMostHeldAtOnceAndLiveWhatRemains) {
    HeapCountingStart();
    void* first = Allocate(1000);
    void* second = Allocate(2000);
    int64_t peak = Usable(first) + Usable(second);
    free(first);
    void* third = Allocate(500);
    void* grown = realloc(second, 8000);
    int64_t live = Usable(third) + Usable(grown);
    HeapTally tally = HeapCountingStop();
    EXPECT_EQ(tally.peakBytes, std::max(peak, live));
    EXPECT_EQ(tally.liveBytes, live);
    EXPECT_EQ(tally.allocations, 4);
    EXPECT_FALSE(tally.overflowed);
    free(third);
    free(grown);
}

// Freed in random order, each block must be found again however the runs of the table shift.
TEST(HeapCounting, EveryBlockIsForgottenWhateverTheOrderOfFreeing) {
    std::vector<void*> blocks;
    blocks.reserve(200000);
    HeapCountingStart();
    int64_t held = 0;
    for (size_t i = 0; i < 200000; ++i) {
        blocks.push_back(Allocate(16 + i % 64));
        held += Usable(blocks.back());
    }
    std::shuffle(blocks.begin(), blocks.end(), std::mt19937(7));
    for (void* block : blocks) {
        free(block);
    }
    HeapTally tally = HeapCountingStop();
    EXPECT_EQ(tally.liveBytes, 0);
    EXPECT_EQ(tally.peakBytes, held);
}

TEST(HeapCounting, OnlyTheCountingThreadsOwnBlocksCountWhoeverFreesThem) {
    std::atomic<void*> handedOver(nullptr);
    std::atomic<bool> done(false);
    std::thread other([&] {
        void* block;
        while ((block = handedOver.load()) == nullptr) {
        }
        free(Allocate(100000)); // its own: never counted
        free(block);
        done = true;
    });
    void* before = Allocate(4000);
    HeapCountingStart();
    void* counted = Allocate(3000);
    int64_t countedSize = Usable(counted);
    free(before); // handed out before counting: not the run's to give back
    handedOver = counted;
    while (!done) {
    }
    HeapTally tally = HeapCountingStop();
    other.join();
    EXPECT_EQ(tally.allocations, 1);
    EXPECT_EQ(tally.peakBytes, countedSize);
    EXPECT_EQ(tally.liveBytes, 0);
}

} // namespace
