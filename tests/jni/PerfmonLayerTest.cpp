// The performance counter exports against a PDH that fails or answers as other Windows releases do,
// on purpose: built on Linux only, since Windows has no fault plan. These are the records no
// healthy machine here reaches.
#include "tests/jni/PerfmonFixture.h"
#include "tests/support/AllocationSeam.h"
#include "tests/support/TestMachine.h"
#include "tests/support/TestPrefix.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Posix/pdh/PdhTestHooks.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr char kEveryProcessId[] = "\\Process(*)\\ID Process";
constexpr int kFirstPid = 100;
// Enough processes that their expanded list outgrows the export's first guess of 1000.
constexpr int kListedProcesses = 40;

class PerfmonLayerTest : public PerfmonTest {
  protected:
    void TearDown() override {
        StopTestFaults();
        PerfmonTest::TearDown();
    }

    // A machine of kListedProcesses processes, pids from kFirstPid.
    void ListProcesses() {
        proc_.Write("uptime", "1000.50 1500.00\n");
        for (int i = 0; i < kListedProcesses; ++i) {
            proc_.AddProcess(kFirstPid + i, "pallwick_listed_" + std::to_string(i));
        }
    }

    std::string MoreDataRecord(const char* path) const {
        return std::string("More Data Rqd for expanding counter path for wildCardPath[") + path +
               "]";
    }
    std::string ExpansionErrorRecord(const char* path) const {
        return std::string("Error while calling ExpandCounterPath for wildCardPath[") + path + "]";
    }

    TestProcRoot proc_;
};

// The machine changing between two calls of one PDH function: change(n) runs at its calls from
// the first-th on, `times` times, n counting from 0.
struct MachineChange {
    LayerCall call;
    int first;
    int times;
    std::function<void(int)> change;
    int calls = 0;
};

DWORD ChangeTheMachine(LayerCall call, const char*, void* context) {
    auto* change = static_cast<MachineChange*>(context);
    if (call == change->call) {
        int ran = ++change->calls - change->first;
        if (ran >= 0 && ran < change->times) {
            change->change(ran);
        }
    }
    return ERROR_SUCCESS;
}

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
    EXPECT_EQ(3u, Count("Error while opening query.Return Error Code[-1073738821]"));
    EXPECT_EQ(1u, Count("Error while calling API PdhOpenQuery!!.\t\t\t Return Error "
                        "Code[-1073738821]"));
    EXPECT_EQ(0u, Count("Call to collect counter values"));
    EXPECT_FALSE(env->ExceptionCheck());
}

// Releases that refuse a short buffer outright, and those that leave the list unclosed, give the
// same paths as current ones: only the size asked for with no buffer is taken. A parse refused as
// those releases refuse it succeeds the same way.
TEST_F(PerfmonLayerTest, OlderReleasesAnswersStillExpandAndParse) {
    ListProcesses();
    Strings current = Expand(kEveryProcessId);
    ASSERT_TRUE(current.has_value());
    EXPECT_EQ((size_t)kListedProcesses + 1, current->size()) << "and _Total";

    PdhReleaseQuirks older;
    older.shortBufferIsAnError = true;
    older.listsLeftUnclosed = true;
    PdhSetReleaseQuirksForTests(older);
    EXPECT_EQ(current, Expand(kEveryProcessId));
    EXPECT_EQ(2u, Count(MoreDataRecord(kEveryProcessId)));
    EXPECT_EQ(0u, Count(ExpansionErrorRecord(kEveryProcessId)));
    Strings available = Expand("\\Memory\\Available*");
    ASSERT_TRUE(available.has_value());
    EXPECT_EQ(2u, available->size()) << "an unclosed list in the first guess ends where it does";

    // The parse is the second call the export makes, after opening its query.
    for (DWORD answer : {PDH_INVALID_PATH, PDH_MORE_DATA}) {
        FaultPlanClear();
        FaultPlanFailNthCall(2, answer);
        EXPECT_EQ((std::vector<std::string>{"Processor", "_Total", "<null>", "% Processor Time"}),
                  Parse(kProcessorTime));
        EXPECT_EQ(3u, FaultPlanCallCountOf(LayerCall::PdhParseCounterPathA));
    }
    EXPECT_EQ(0u, CountStartingWith("Failed while parsing counter path"));
}

// Processes that start between the call that sizes the list and the one that fills it cost
// another try, as many as it takes while few do; a list that never stops growing is given up
// after a bounded number, with the records of a failed retry.
TEST_F(PerfmonLayerTest, AGrowingListIsRetriedABoundedNumberOfTimes) {
    ListProcesses();
    auto start = [this](int firstPid) {
        return
            [this, firstPid](int n) { proc_.AddProcess(firstPid + n, "pallwick_started_later"); };
    };
    MachineChange settles{LayerCall::PdhExpandCounterPathA, 1, 3, start(1000)};
    FaultPlanSetAreaHook(FaultArea::Pdh, ChangeTheMachine, &settles);
    Strings grown = Expand(kEveryProcessId);
    ASSERT_TRUE(grown.has_value());
    EXPECT_EQ((size_t)kListedProcesses + 3 + 1, grown->size());
    EXPECT_EQ(1u, Count(MoreDataRecord(kEveryProcessId)));
    EXPECT_EQ(0u, Count(ExpansionErrorRecord(kEveryProcessId)));

    FaultPlanClear();
    MachineChange endless{LayerCall::PdhExpandCounterPathA, 1, 1000, start(2000)};
    FaultPlanSetAreaHook(FaultArea::Pdh, ChangeTheMachine, &endless);
    EXPECT_FALSE(Expand(kEveryProcessId).has_value());
    unsigned long long calls = FaultPlanCallCountOf(LayerCall::PdhExpandCounterPathA);
    EXPECT_GT(calls, 3u);
    EXPECT_LT(calls, 20u);
    EXPECT_EQ(2u, Count(MoreDataRecord(kEveryProcessId)));
    EXPECT_EQ(1u, Count(ExpansionErrorRecord(kEveryProcessId)));

    // A PDH that asks for more and then says no more than it had is not retried either.
    FaultPlanClear();
    FaultPlanFailEveryCall(LayerCall::PdhExpandCounterPathA, (DWORD)PDH_MORE_DATA);
    EXPECT_FALSE(Expand(kProcessCount).has_value());
    EXPECT_EQ(2u, FaultPlanCallCountOf(LayerCall::PdhExpandCounterPathA));
    EXPECT_EQ(1u, Count(ExpansionErrorRecord(kProcessCount)));
}

// After the delay a rate counter added in the second pass has one collection, and its value is
// that of the first pass's counter read across the delay; a process that ends before the second
// pass is gone, not its value before.
TEST_F(PerfmonLayerTest, SecondPassFallsBackOnlyForACounterWithoutValidDataYet) {
    proc_.Write("uptime", "1000.50 1500.00\n");
    proc_.AddProcess(200, "pallwick_stays");
    proc_.AddProcess(201, "pallwick_ends");
    const char* stays = "\\Process(pallwick_stays)\\% Processor Time";
    const char* ends = "\\Process(pallwick_ends)\\ID Process";
    // When the second pass adds its first counter.
    MachineChange exit{LayerCall::PdhAddCounterA, 3, 1, [this](int) { proc_.RemoveProcess(201); }};
    FaultPlanSetAreaHook(FaultArea::Pdh, ChangeTheMachine, &exit);
    TestClockStart(0);
    auto values = Sample({stays, ends}, 1);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ((std::vector<double>{0.0, -1.0}), *values);
    EXPECT_EQ(1u, Count(std::string("Get formatted counter value failed for expanded path[") +
                        stays + "]\t\t\t\t with return code[c0000bc6]"))
        << "the first pass only";
    EXPECT_EQ(1u, Count(std::string("Get formatted counter value failed for expanded path[") +
                        ends + "]\t\t\t\t with return code[c0000bc6]"));
}

// A collection that fails costs the path its value, and the instance its existence.
TEST_F(PerfmonLayerTest, FailedCollectionGivesMinusOneAndNoInstance) {
    FaultPlanFailEveryCall(LayerCall::PdhCollectQueryData, (DWORD)PDH_NO_DATA);
    size_t open = HandleOpenCount();
    auto values = Sample({kProcessCount}, 0);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(std::vector<double>{-1.0}, *values);
    EXPECT_EQ(1u, Count("Call to collect counter values"));
    EXPECT_EQ(1u, Count(std::string("Collect Query Data failed for expanded path[") +
                        kProcessCount + "].\t\t\t\t Return Error Code[-2147481643]"));

    EXPECT_FALSE(Check(kProcessCount));
    EXPECT_EQ(1u, Count(std::string("Error while collecting query data for[") + kProcessCount +
                        "].\t\t\t Return Error Code[-2147481643]"));
    EXPECT_EQ(1u, Count(std::string("Instance ID [") + kProcessCount + "] doesnot exist"));
    EXPECT_EQ(open, HandleOpenCount());
}

// Each way a counter turns out missing names the step and its status, then the instance, in that
// order; only a failed collection is followed by its system error.
TEST_F(PerfmonLayerTest, MissingInstanceNamesTheStepThatFailed) {
    const std::string missing = std::string("Instance ID [") + kGoneProcess + "] doesnot exist";
    auto checkRecords = [this] {
        size_t before = log_.Messages().size();
        EXPECT_FALSE(Check(kGoneProcess));
        std::vector<std::string> messages = log_.Messages();
        return std::vector<std::string>(messages.begin() + (std::ptrdiff_t)before, messages.end());
    };
    const std::string collecting = std::string("Error while collecting query data for[") +
                                   kGoneProcess + "].\t\t\t Return Error Code[";
    EXPECT_EQ((std::vector<std::string>{collecting + "-2147481647]", missing}), checkRecords());

    FaultPlanFailEveryCall(LayerCall::PdhAddCounterA, (DWORD)PDH_CSTATUS_NO_OBJECT);
    EXPECT_EQ(
        (std::vector<std::string>{std::string("Error while adding counter path[") + kGoneProcess +
                                      "].\t\t\t Return Error Code[-1073738824]",
                                  missing}),
        checkRecords());
    StopTestFaults();

    FaultPlanFailEveryCall(LayerCall::PdhCollectQueryData, (DWORD)PDH_NO_DATA);
    std::vector<std::string> records = checkRecords();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(collecting + "-2147481643]", records[0]);
    EXPECT_EQ(missing, records[1]);
    EXPECT_EQ(0u, records[2].rfind("System code: ", 0)) << records[2];
}

// Memory that cannot be had fails the call with a record, never silently: each block of the
// values (the values, the first pass's counters, their readings after the delay), the list of
// an expansion at its first guess and at the size PDH asks for, and the parse's record. Every
// block of at least a size is refused once `allowed` such blocks have been had.
TEST_F(PerfmonLayerTest, NoMemoryFailsWithARecord) {
    RouteLibraryAllocationsToThePlan();
    ListProcesses();
    constexpr jsize kPaths = 4096;
    jobjectArray paths = env->NewObjectArray(kPaths, env->FindClass("java/lang/String"), nullptr);
    size_t open = HandleOpenCount();
    for (unsigned allowed : {0u, 1u, 2u}) {
        FaultPlanFailNthAllocation(allowed + 1, true, kPaths * sizeof(double));
        EXPECT_EQ(
            nullptr,
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
                env, nullptr, paths, 1));
        EXPECT_NE(0u, FaultPlanAllocationsRefused());
        FaultPlanClear();
    }
    EXPECT_EQ(3u, Count("Counter values returned by collectCounterValues is NULL"));
    EXPECT_EQ(0u, CountStartingWith("Total counter paths")) << "no pass began";

    for (unsigned allowed : {0u, 1u}) {
        FaultPlanFailNthAllocation(allowed + 1, true, 1000);
        EXPECT_FALSE(Expand(kEveryProcessId).has_value());
        EXPECT_EQ(1u, FaultPlanAllocationsRefused());
        FaultPlanClear();
    }
    EXPECT_EQ(1u, Count(MoreDataRecord(kEveryProcessId)));
    EXPECT_EQ(2u, Count(ExpansionErrorRecord(kEveryProcessId)));
    EXPECT_EQ(2u, CountStartingWith("System code: 8: "));
    FaultPlanFailNthAllocation(1, true);
    EXPECT_FALSE(Parse(kProcessorTime).has_value());
    FaultPlanClear();
    EXPECT_EQ(1u, Count(std::string("Failed while parsing counter path for path[") +
                        kProcessorTime + "]"));
    EXPECT_EQ(open, HandleOpenCount());
    EXPECT_FALSE(env->ExceptionCheck());
}

} // namespace
