#include "tests/jni/PerfmonFixture.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST_F(PerfmonTest, ExpansionSpellsPathsAsPdhAndRetriesForLongLists) {
    Strings single = Expand(kProcessCount);
    ASSERT_TRUE(single.has_value());
    ASSERT_EQ(1u, single->size());
    EXPECT_EQ(0u, (*single)[0].rfind("\\\\", 0)) << "the machine is named";
    EXPECT_NE(std::string::npos, (*single)[0].find(kProcessCount));
    EXPECT_EQ(0u, CountStartingWith("More Data Rqd"));
    EXPECT_EQ(1u, Count(std::string("Wild card counter path = ") + kProcessCount));

    // Processes that start between the size query and the retry cost the export another try;
    // one that never catches up fails it, which on a busy test machine takes another call.
    Strings many;
    size_t attempts = 0;
    while (!many.has_value() && attempts < 5) {
        ++attempts;
        many = Expand("\\Process(*)\\*");
    }
    ASSERT_TRUE(many.has_value());
    size_t characters = 0;
    for (const std::string& path : *many) {
        characters += path.size() + 1;
    }
    EXPECT_GT(characters, 1000u);
    EXPECT_EQ(attempts,
              Count("More Data Rqd for expanding counter path for wildCardPath[\\Process(*)\\*]"));
    EXPECT_EQ(attempts - 1,
              Count("Error while calling ExpandCounterPath for wildCardPath[\\Process(*)\\*]"));

    EXPECT_FALSE(Expand("\\Process(pallwick_never_started*)\\ID Process").has_value());
}

TEST_F(PerfmonTest, SamplingPassesAndTheirRecords) {
    for (jint delay : {0, -3}) {
        auto values = Sample({kProcessCount}, delay);
        ASSERT_TRUE(values.has_value());
        ASSERT_EQ(1u, values->size());
        EXPECT_GT((*values)[0], 0.0);
    }
    EXPECT_EQ(2u, Count("Total counter paths = 1"));
    EXPECT_EQ(0u, CountStartingWith("sleeping for"));

    EXPECT_TRUE(Sample({}, 0)->empty());
    EXPECT_EQ(3u, Count("Call to collect counter values"));
}

// The rate of a delayed sample spans the delay, where a counter read after its first collection
// has none; the bad path and the null element fail alone, the bad path once per pass.
TEST_F(PerfmonTest, DelayedSampleGivesRatesAndFailuresStayAtTheirIndex) {
    auto start = std::chrono::steady_clock::now();
    auto values = Sample({kProcessorTime, kBadPath, nullptr, kProcessCount}, 2);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(4u, values->size());
    EXPECT_GE((*values)[0], 0.0);
    EXPECT_LE((*values)[0], 100.0);
    EXPECT_EQ(-1.0, (*values)[1]);
    EXPECT_EQ(-1.0, (*values)[2]);
    EXPECT_GT((*values)[3], 0.0);
    EXPECT_GE(elapsed, std::chrono::seconds(2));
    EXPECT_EQ(1u, Count("sleeping for 2000ms"));
    EXPECT_EQ(1u, Count("Call to re-collect counter values"));
    EXPECT_EQ(2u, CountStartingWith(std::string("Add counter failed for expanded path[") +
                                    kBadPath + "].\t\t\t\t Return Error Code[-")); // contractual
    EXPECT_EQ(2u, Count("Expanded counter path at index[2] is NULL"));
    // The first pass cannot give the rate, and says so once.
    EXPECT_EQ(1u, CountStartingWith(std::string("Get formatted counter value failed for expanded "
                                                "path[") +
                                    kProcessorTime + "]\t\t\t\t with return code[c0000bc6]"));
}

TEST_F(PerfmonTest, NullArgumentsGiveTheFailureValue) {
    EXPECT_EQ(
        nullptr,
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
            env, nullptr, nullptr, 0));
    EXPECT_EQ(1u, Count("Expanded counter path returned is NULL"));
    EXPECT_EQ(
        nullptr,
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_parseCounterPath(
            env, nullptr, nullptr));
    EXPECT_EQ(1u, Count("String array of expanded counter path is NULL"));
    EXPECT_EQ(
        nullptr,
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getExpandedCounterPaths(
            env, nullptr, nullptr));
    EXPECT_EQ(
        JNI_FALSE,
        Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_checkInstanceExists(
            env, nullptr, nullptr));
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(PerfmonTest, ParsingGivesObjectInstanceParentAndCounter) {
    EXPECT_EQ((std::vector<std::string>{"Processor", "0", "<null>", "% User Time"}),
              Parse("\\Processor(0)\\% User Time"));
    EXPECT_EQ((std::vector<std::string>{"Process", "java", "parent", "ID Process"}),
              Parse("\\Process(parent/java#1)\\ID Process"));
    EXPECT_EQ((std::vector<std::string>{"Memory", "<null>", "<null>", "Available Bytes"}),
              Parse("\\Memory\\Available Bytes"));
    EXPECT_FALSE(Parse("no path at all").has_value());
    EXPECT_EQ(1u, Count("Failed while parsing counter path for path[no path at all]"));
    // A parent written as nothing is an empty parent, not none; an index no DWORD holds names no
    // instance, rather than another one by wrapping.
    EXPECT_EQ((std::vector<std::string>{"Thread", "0", "", "% Processor Time"}),
              Parse("\\Thread(/0)\\% Processor Time"));
    const char* pastADword = "\\Process(svchost#99999999999)\\% Processor Time";
    EXPECT_FALSE(Parse(pastADword).has_value());
    EXPECT_EQ(1u,
              Count(std::string("Failed while parsing counter path for path[") + pastADword + "]"));
}

TEST_F(PerfmonTest, InstanceCheckTellsLiveFromGoneProcesses) {
    std::string live = "\\Process(" + OwnProcessInstance() + ")\\ID Process";
    EXPECT_TRUE(Check(live));
    EXPECT_EQ(1u, Count("Instance ID [" + live + "] exists"));

    EXPECT_FALSE(Check(kGoneProcess));
    EXPECT_EQ(1u, Count(std::string("Instance ID [") + kGoneProcess + "] doesnot exist"));
    EXPECT_EQ(1u, CountStartingWith(std::string("Error while adding counter path[") + kGoneProcess +
                                    "].\t\t\t Return Error Code[") +
                      CountStartingWith(std::string("Error while collecting query data for[") +
                                        kGoneProcess + "].\t\t\t Return Error Code["));
}

} // namespace
