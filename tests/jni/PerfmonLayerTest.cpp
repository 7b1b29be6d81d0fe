// The performance counter exports against a PDH that fails on purpose: built on Linux only, since
// Windows has no fault plan. These are the records no healthy machine reaches.
#include "tests/jni/PerfmonFixture.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"

#include <gtest/gtest.h>

namespace {

class PerfmonLayerTest : public PerfmonTest {
  protected:
    void TearDown() override {
        FaultPlanClear();
        PerfmonTest::TearDown();
    }
};

// A machine whose PDH opens no query fails every export alike, each with its failure value and
// the status in its record.
TEST_F(PerfmonLayerTest, NoQueryFailsEveryExport) {
    FaultPlanFailEveryCall(LayerCall::PdhOpenQueryA, (DWORD)PDH_MEMORY_ALLOCATION_FAILURE);
    size_t open = HandleOpenCount();
    EXPECT_FALSE(Expand(kProcessCount).has_value());
    EXPECT_FALSE(Sample({kProcessCount}, 0).has_value());
    EXPECT_FALSE(Parse(kProcessCount).has_value());
    EXPECT_FALSE(Check(kProcessCount));
    EXPECT_EQ(open, HandleOpenCount());
    // contractual text
    EXPECT_EQ(3u, Count("Error while opening query.Return Error Code[-1073738821]"));
    EXPECT_EQ(1u, Count("Error while calling API PdhOpenQuery!!.\t\t\t Return Error "
                        "Code[-1073738821]")); // contractual text
    EXPECT_EQ(0u, Count("Call to collect counter values"));
    EXPECT_FALSE(env->ExceptionCheck());
}

// Both sizes PDH asks for are tried, and no third: a list that keeps growing fails the expansion,
// and a parse that needs more room than the first guess succeeds with the room PDH reports.
TEST_F(PerfmonLayerTest, ExpansionAndParseRetryOnceWithTheSizePdhGives) {
    FaultPlanFailEveryCall(LayerCall::PdhExpandCounterPathA, (DWORD)PDH_MORE_DATA);
    EXPECT_FALSE(Expand(kProcessCount).has_value());
    EXPECT_EQ(2u, FaultPlanCallCountOf(LayerCall::PdhExpandCounterPathA));
    std::string expected = std::string("ExpandCounterPath for wildCardPath[") + kProcessCount + "]";
    EXPECT_EQ(1u, Count("More Data Rqd for expanding counter path for wildCardPath[" +
                        std::string(kProcessCount) + "]"));
    EXPECT_EQ(1u, Count("Error while calling " + expected)); // contractual text

    FaultPlanClear();
    FaultPlanFailEveryCall(LayerCall::PdhParseCounterPathA, (DWORD)PDH_MORE_DATA);
    EXPECT_FALSE(Parse(kProcessorTime).has_value());
    EXPECT_EQ(2u, FaultPlanCallCountOf(LayerCall::PdhParseCounterPathA));

    // The parse is the second call the export makes, after opening its query.
    FaultPlanClear();
    FaultPlanFailNthCall(2, (DWORD)PDH_MORE_DATA);
    EXPECT_EQ((std::vector<std::string>{"Processor", "_Total", "<null>", "% Processor Time"}),
              Parse(kProcessorTime));
    EXPECT_EQ(2u, FaultPlanCallCountOf(LayerCall::PdhParseCounterPathA));
    EXPECT_EQ(1u, Count(std::string("Failed while parsing counter path for path[") +
                        kProcessorTime + "]"));
}

// A collection that fails costs the path its value, and the instance its existence.
TEST_F(PerfmonLayerTest, FailedCollectionGivesMinusOneAndNoInstance) {
    FaultPlanFailEveryCall(LayerCall::PdhCollectQueryData, (DWORD)PDH_NO_DATA);
    size_t open = HandleOpenCount();
    auto values = Sample({kProcessCount}, 0);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(std::vector<double>{-1.0}, *values);
    EXPECT_EQ(1u, Count("Call to collect counter values")); // contractual text
    EXPECT_EQ(1u, Count(std::string("Collect Query Data failed for expanded path[") +
                        kProcessCount + "].\t\t\t\t Return Error Code[-2147481643]"));

    EXPECT_FALSE(Check(kProcessCount));
    EXPECT_EQ(1u, Count(std::string("Error while collecting query data for[") + kProcessCount +
                        "].\t\t\t Return Error Code[-2147481643]"));
    EXPECT_EQ(1u, Count(std::string("Instance ID [") + kProcessCount + "] doesnot exist"));
    EXPECT_EQ(open, HandleOpenCount());
}

} // namespace
