#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string LocalMachinePrefix() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(name);
    EXPECT_TRUE(GetComputerNameA(name, &size));
    return std::string("\\\\") + name;
}

std::vector<std::string> Expand(const char* wildcard, PDH_STATUS* status) {
    DWORD length = 0;
    *status = PdhExpandCounterPathA(wildcard, NULL, &length);
    if (*status != (PDH_STATUS)PDH_MORE_DATA) {
        return {};
    }
    std::vector<char> list(length);
    DWORD needed = length;
    *status = PdhExpandCounterPathA(wildcard, list.data(), &length);
    EXPECT_EQ(needed, length);
    std::vector<std::string> paths;
    for (const char* path = list.data(); *status == ERROR_SUCCESS && *path != '\0';
         path += strlen(path) + 1) {
        paths.push_back(path);
    }
    return paths;
}

TEST(PdhParseTest, SplitsEveryPartOfTheGrammar) {
    const char* full = "\\\\box\\Process(svchost/worker#2)\\% Processor Time";
    DWORD size = 0;
    ASSERT_EQ((PDH_STATUS)PDH_MORE_DATA, PdhParseCounterPathA(full, NULL, &size, 0));
    ASSERT_GT(size, sizeof(PDH_COUNTER_PATH_ELEMENTS_A));
    std::vector<char> buffer(size);
    auto* elements = reinterpret_cast<PPDH_COUNTER_PATH_ELEMENTS_A>(buffer.data());
    DWORD shortSize = size - 1;
    EXPECT_EQ((PDH_STATUS)PDH_MORE_DATA, PdhParseCounterPathA(full, elements, &shortSize, 0));
    ASSERT_EQ(ERROR_SUCCESS, PdhParseCounterPathA(full, elements, &size, 0));
    EXPECT_STREQ("\\\\box", elements->szMachineName);
    EXPECT_STREQ("Process", elements->szObjectName);
    EXPECT_STREQ("svchost", elements->szParentInstance);
    EXPECT_STREQ("worker", elements->szInstanceName);
    EXPECT_EQ(2u, elements->dwInstanceIndex);
    EXPECT_STREQ("% Processor Time", elements->szCounterName);
}

TEST(PdhParseTest, WithoutMachineOrInstanceTheLocalMachineIsNamed) {
    std::vector<char> buffer(1024);
    auto* elements = reinterpret_cast<PPDH_COUNTER_PATH_ELEMENTS_A>(buffer.data());
    DWORD size = (DWORD)buffer.size();
    ASSERT_EQ(ERROR_SUCCESS, PdhParseCounterPathA("\\Memory\\Available Bytes", elements, &size, 0));
    EXPECT_STRCASEEQ(LocalMachinePrefix().c_str(), elements->szMachineName);
    EXPECT_STREQ("Memory", elements->szObjectName);
    EXPECT_EQ(nullptr, elements->szInstanceName);
    EXPECT_EQ(nullptr, elements->szParentInstance);
    EXPECT_STREQ("Available Bytes", elements->szCounterName);
}

// `(/0)` writes a parent, if an empty one: null is for a path that names none, which is how
// PdhMakeCounterPath reads the member. An index is a DWORD: one past it is no path at all, where
// wrapping would name another instance; up to it, all its digits are the index.
TEST(PdhParseTest, AnEmptyParentIsNamedAndAnIndexPastADwordIsNoPath) {
    std::vector<char> buffer(1024);
    auto* elements = reinterpret_cast<PPDH_COUNTER_PATH_ELEMENTS_A>(buffer.data());
    DWORD size = (DWORD)buffer.size();
    ASSERT_EQ(ERROR_SUCCESS,
              PdhParseCounterPathA("\\Thread(/0)\\% Processor Time", elements, &size, 0));
    ASSERT_NE(nullptr, elements->szParentInstance);
    EXPECT_STREQ("", elements->szParentInstance);
    EXPECT_STREQ("0", elements->szInstanceName);
    size = (DWORD)buffer.size();
    ASSERT_EQ(ERROR_SUCCESS, PdhParseCounterPathA("\\Process(svchost#4294967295)\\ID Process",
                                                  elements, &size, 0));
    EXPECT_STREQ("svchost", elements->szInstanceName);
    EXPECT_EQ(4294967295u, elements->dwInstanceIndex);
    size = (DWORD)buffer.size();
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_PATH,
              PdhParseCounterPathA("\\Process(svchost#99999999999)\\% Processor Time", elements,
                                   &size, 0));
}

TEST(PdhParseTest, MalformedPathsAreInvalid) {
    const char* bad[] = {"",           "Memory\\Available Bytes", "\\Memory",
                         "\\Memory\\", "\\\\\\Memory\\x",         "\\Process(x\\Working Set"};
    for (const char* path : bad) {
        std::vector<char> buffer(1024);
        DWORD size = (DWORD)buffer.size();
        EXPECT_EQ(
            (PDH_STATUS)PDH_INVALID_PATH,
            PdhParseCounterPathA(
                path, reinterpret_cast<PPDH_COUNTER_PATH_ELEMENTS_A>(buffer.data()), &size, 0))
            << path;
    }
}

TEST(PdhExpandTest, PathWithoutWildcardsExpandsToItselfWithTheMachine) {
    PDH_STATUS status = 0;
    std::vector<std::string> paths = Expand("\\processor(_total)\\% processor time", &status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    ASSERT_EQ(1u, paths.size());
    EXPECT_STRCASEEQ((LocalMachinePrefix() + "\\Processor(_Total)\\% Processor Time").c_str(),
                     paths[0].c_str());
}

TEST(PdhExpandTest, WildcardsListEveryInstanceAndCounter) {
    PDH_STATUS status = 0;
    std::vector<std::string> processors = Expand("\\Processor(*)\\% Idle Time", &status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    ASSERT_GE(processors.size(), 2u); // the processors and _Total
    EXPECT_NE(std::string::npos, processors.back().find("(_Total)"));
    std::vector<std::string> memory = Expand("\\Memory\\Available*", &status);
    ASSERT_EQ(ERROR_SUCCESS, status);
    EXPECT_EQ(2u, memory.size()); // Bytes, MBytes
    Expand("\\Memory\\No Such Counter*", &status);
    EXPECT_EQ((PDH_STATUS)PDH_CSTATUS_NO_COUNTER, status);
    Expand("\\No Such Object\\*", &status);
    EXPECT_EQ((PDH_STATUS)PDH_CSTATUS_NO_OBJECT, status);
}

struct PdhQueryTest : ::testing::Test {
    PDH_HQUERY query = NULL;
    void SetUp() override { ASSERT_EQ(ERROR_SUCCESS, PdhOpenQueryA(NULL, 0, &query)); }
    void TearDown() override { EXPECT_EQ(ERROR_SUCCESS, PdhCloseQuery(query)); }
};

TEST_F(PdhQueryTest, AddRefusesWhatTheMachineDoesNotHave) {
    PDH_HCOUNTER counter = NULL;
    EXPECT_EQ((PDH_STATUS)PDH_CSTATUS_NO_OBJECT,
              PdhAddCounterA(query, "\\No Such Object\\x", 0, &counter));
    EXPECT_EQ((PDH_STATUS)PDH_CSTATUS_NO_COUNTER,
              PdhAddCounterA(query, "\\Memory\\No Such Counter", 0, &counter));
    EXPECT_EQ((PDH_STATUS)PDH_CSTATUS_BAD_COUNTERNAME,
              PdhAddCounterA(query, "Memory", 0, &counter));
}

TEST_F(PdhQueryTest, RatesNeedTwoCollectionsAndPercentagesAreCapped) {
    PDH_HCOUNTER rate = NULL, raw = NULL;
    ASSERT_EQ(ERROR_SUCCESS,
              PdhAddCounterA(query, "\\Processor(_Total)\\% Processor Time", 0, &rate));
    ASSERT_EQ(ERROR_SUCCESS, PdhAddCounterA(query, "\\System\\System Up Time", 0, &raw));
    PDH_FMT_COUNTERVALUE value;
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_DATA,
              PdhGetFormattedCounterValue(rate, PDH_FMT_DOUBLE, NULL, &value));
    ASSERT_EQ(ERROR_SUCCESS, PdhCollectQueryData(query));
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_DATA,
              PdhGetFormattedCounterValue(rate, PDH_FMT_DOUBLE, NULL, &value));
    ASSERT_EQ(ERROR_SUCCESS, PdhGetFormattedCounterValue(raw, PDH_FMT_LARGE, NULL, &value));
    EXPECT_GT(value.largeValue, 0); // a raw counter has its value from the first collection
    Sleep(100);
    ASSERT_EQ(ERROR_SUCCESS, PdhCollectQueryData(query));
    ASSERT_EQ(ERROR_SUCCESS, PdhGetFormattedCounterValue(rate, PDH_FMT_DOUBLE, NULL, &value));
    EXPECT_EQ(PDH_CSTATUS_VALID_DATA, value.CStatus);
    EXPECT_GE(value.doubleValue, 0.0);
    EXPECT_LE(value.doubleValue, 100.0);
    EXPECT_EQ(ERROR_SUCCESS, PdhRemoveCounter(rate));
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_HANDLE,
              PdhGetFormattedCounterValue(rate, PDH_FMT_DOUBLE, NULL, &value));
}

TEST_F(PdhQueryTest, AnInstanceThatIsGoneHasNoInstanceStatus) {
    PDH_HCOUNTER counter = NULL;
    ASSERT_EQ(ERROR_SUCCESS,
              PdhAddCounterA(query, "\\Process(no_such_image_here)\\ID Process", 0, &counter));
    ASSERT_EQ(ERROR_SUCCESS, PdhCollectQueryData(query));
    PDH_FMT_COUNTERVALUE value;
    EXPECT_EQ((PDH_STATUS)PDH_INVALID_DATA,
              PdhGetFormattedCounterValue(counter, PDH_FMT_LONG, NULL, &value));
    EXPECT_EQ(PDH_CSTATUS_NO_INSTANCE, value.CStatus);
}

} // namespace
