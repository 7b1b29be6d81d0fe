#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::optional<std::vector<std::string>>;

constexpr char kProcessorTime[] = "\\Processor(_Total)\\% Processor Time";
constexpr char kProcessCount[] = "\\System\\Processes";
constexpr char kBadPath[] = "\\NoSuchObject\\No Such Counter";
constexpr char kGoneProcess[] = "\\Process(pallwick_never_started)\\ID Process";

class PerfmonTest : public JvmTest {
  protected:
    Strings Expand(const char* path) {
        jobjectArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getExpandedCounterPaths(
                env, nullptr, JavaString(path));
        return result != nullptr ? Strings(TakeJavaStrings(env, result)) : std::nullopt;
    }

    // The values of the paths; a null path stands for a null element.
    std::optional<std::vector<double>> Sample(const std::vector<const char*>& paths, jint delay) {
        jclass stringClass = env->FindClass("java/lang/String");
        jobjectArray array = env->NewObjectArray((jsize)paths.size(), stringClass, nullptr);
        for (size_t i = 0; i < paths.size(); ++i) {
            if (paths[i] != nullptr) {
                jstring path = JavaString(paths[i]);
                env->SetObjectArrayElement(array, (jsize)i, path);
                env->DeleteLocalRef(path);
            }
        }
        jdoubleArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_getCounterValues(
                env, nullptr, array, delay);
        if (result == nullptr) {
            return std::nullopt;
        }
        std::vector<double> values((size_t)env->GetArrayLength(result));
        env->GetDoubleArrayRegion(result, 0, (jsize)values.size(), values.data());
        env->DeleteLocalRef(result);
        return values;
    }

    // The four parts, "<null>" for a part the path lacks.
    Strings Parse(const char* path) {
        jobjectArray result =
            Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_parseCounterPath(
                env, nullptr, JavaString(path));
        if (result == nullptr) {
            return std::nullopt;
        }
        std::vector<std::string> parts;
        for (jsize i = 0; i < env->GetArrayLength(result); ++i) {
            auto part = static_cast<jstring>(env->GetObjectArrayElement(result, i));
            const char* chars = part != nullptr ? env->GetStringUTFChars(part, nullptr) : nullptr;
            parts.push_back(chars != nullptr ? chars : "<null>");
            if (chars != nullptr) {
                env->ReleaseStringUTFChars(part, chars);
            }
            env->DeleteLocalRef(part);
        }
        env->DeleteLocalRef(result);
        return parts;
    }

    bool Check(const std::string& path) {
        return Java_com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent_checkInstanceExists(
                   env, nullptr, JavaString(path.c_str())) == JNI_TRUE;
    }

    size_t Count(const std::string& message) const {
        std::vector<std::string> messages = log_.Messages();
        return (size_t)std::count(messages.begin(), messages.end(), message);
    }
    size_t CountStartingWith(const std::string& prefix) const {
        std::vector<std::string> messages = log_.Messages();
        return (size_t)std::count_if(messages.begin(), messages.end(), [&](const std::string& m) {
            return m.compare(0, prefix.size(), prefix) == 0;
        });
    }

    LogCapture log_{"perfmon-" + std::to_string(getpid())};
};

// The Process instance of this program, as PDH names it: the image name without extension.
std::string OwnProcessInstance() {
    char image[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, image, MAX_PATH);
    std::string name = image;
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

TEST_F(PerfmonTest, ExpansionSpellsPathsAsPdhAndRetriesOnceForLongLists) {
    Strings single = Expand(kProcessCount);
    ASSERT_TRUE(single.has_value());
    ASSERT_EQ(1u, single->size());
    EXPECT_EQ(0u, (*single)[0].rfind("\\\\", 0)) << "the machine is named";
    EXPECT_NE(std::string::npos, (*single)[0].find(kProcessCount));
    EXPECT_EQ(0u, CountStartingWith("More Data Rqd")); // contractual text
    EXPECT_EQ(1u, Count(std::string("Wild card counter path = ") + kProcessCount));

    // Processes that start between the size query and the retry fail the expansion, as they
    // would on Windows; on a busy test machine that takes another try.
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
    EXPECT_EQ(2u, Count("Total counter paths = 1")); // contractual text
    EXPECT_EQ(0u, CountStartingWith("sleeping for"));

    EXPECT_TRUE(Sample({}, 0)->empty());
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
    EXPECT_EQ(1u, Count("sleeping for 2000ms"));               // contractual text
    EXPECT_EQ(1u, Count("Call to re-collect counter values")); // contractual text
    EXPECT_EQ(2u, CountStartingWith(std::string("Add counter failed for expanded path[") +
                                    kBadPath + "].\t\t\t\t Return Error Code[-")); // contractual
    EXPECT_EQ(2u, Count("Expanded counter path at index[2] is NULL"));
    // The first pass cannot give the rate, and says so once.
    EXPECT_EQ(1u, CountStartingWith(std::string("Get formatted counter value failed for expanded "
                                                "path[") +
                                    kProcessorTime + "]\t\t\t\t with return code[c0000bc6]"));
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
}

TEST_F(PerfmonTest, InstanceCheckTellsLiveFromGoneProcesses) {
    std::string live = "\\Process(" + OwnProcessInstance() + ")\\ID Process";
    EXPECT_TRUE(Check(live));
    EXPECT_EQ(1u, Count("Instance ID [" + live + "] exists")); // contractual text

    EXPECT_FALSE(Check(kGoneProcess));
    EXPECT_EQ(1u, Count(std::string("Instance ID [") + kGoneProcess + "] doesnot exist"));
    EXPECT_EQ(1u, CountStartingWith(std::string("Error while adding counter path[") + kGoneProcess +
                                    "].\t\t\t Return Error Code[") +
                      CountStartingWith(std::string("Error while collecting query data for[") +
                                        kGoneProcess + "].\t\t\t Return Error Code["));
}

} // namespace
