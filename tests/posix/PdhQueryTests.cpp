#include "Platform/Posix/Win32Layer.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"

#include <gtest/gtest.h>

namespace {

// What one collection opens under /proc, for a query holding `counters` Memory and Processor
// counters.
unsigned long long OpensOfOneCollection(int counters) {
    PDH_HQUERY query = NULL;
    EXPECT_EQ(ERROR_SUCCESS, PdhOpenQueryA(NULL, 0, &query));
    for (int i = 0; i < counters; ++i) {
        PDH_HCOUNTER counter = NULL;
        EXPECT_EQ(ERROR_SUCCESS, PdhAddCounterA(query, "\\Memory\\Available Bytes", 0, &counter));
        EXPECT_EQ(ERROR_SUCCESS,
                  PdhAddCounterA(query, "\\Processor(_Total)\\% Idle Time", 0, &counter));
    }
    FaultPlanClear();
    EXPECT_EQ(ERROR_SUCCESS, PdhCollectQueryData(query));
    unsigned long long opens = FaultPlanCallCountOf(PosixCall::Open);
    EXPECT_EQ(ERROR_SUCCESS, PdhCloseQuery(query));
    return opens;
}

TEST(PdhCollectionTest, ReadsEachObjectOnceWhateverTheNumberOfItsCounters) {
    unsigned long long one = OpensOfOneCollection(1);
    EXPECT_GT(one, 0u);
    EXPECT_EQ(one, OpensOfOneCollection(50));
}

TEST(PdhCollectionTest, ClosingTheQueryClosesItsCounters) {
    size_t before = HandleOpenCount();
    PDH_HQUERY query = NULL;
    PDH_HCOUNTER counter = NULL;
    ASSERT_EQ(ERROR_SUCCESS, PdhOpenQueryA(NULL, 0, &query));
    ASSERT_EQ(ERROR_SUCCESS, PdhAddCounterA(query, "\\Memory\\Available Bytes", 0, &counter));
    ASSERT_EQ(ERROR_SUCCESS, PdhCloseQuery(query));
    EXPECT_EQ(before, HandleOpenCount());
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_HANDLE, PdhRemoveCounter(counter));
}

} // namespace
