// Linux-only sides of modules, environment and time: shared objects named through the drive map,
// Wine's defaults for the Windows variables Linux lacks, and the virtual test clock.
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/EnvironmentTestHooks.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/kernel32/Modules.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Posix/kernel32/Time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <errno.h>
#include <gnu/libc-version.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ModuleName(const void* address) {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA((HMODULE)address, name, sizeof(name));
    return length > 0 && length < sizeof(name) ? std::string(name) : std::string();
}

std::string DosFormOf(const char* unixPath) {
    char resolved[PATH_MAX];
    char dos[4096];
    if (realpath(unixPath, resolved) == nullptr || !UnixPathToDos(resolved, dos, sizeof(dos))) {
        return std::string();
    }
    return dos;
}

TEST(ModuleFileNameTest, NamesASharedObjectByItsResolvedDosPath) {
    Dl_info info;
    // A libc function that no sanitizer intercepts, so that it lies in libc itself.
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    std::string expected = DosFormOf(info.dli_fname);
    ASSERT_FALSE(expected.empty());
    EXPECT_NE(expected.find("libc.so.6"), std::string::npos) << expected;

    EXPECT_EQ(ModuleName(info.dli_fbase), expected) << "by load address";
    EXPECT_EQ(ModuleName(reinterpret_cast<void*>(&gnu_get_libc_version)), expected)
        << "by a function inside";
}

TEST(ModuleFileNameTest, AnAddressInTheExecutableNamesTheExecutable) {
    std::string host = ModuleName(nullptr);
    EXPECT_EQ(host, DosFormOf("/proc/self/exe"));
    EXPECT_EQ(ModuleName(reinterpret_cast<void*>(&ModuleName)), host);
    // Functions need not be aligned: low bits set are no data-file module's tag here.
    EXPECT_EQ(ModuleName(reinterpret_cast<char*>(&ModuleName) + 1), host);
}

// The host's figures come from the machine image's proc root, so that tests can fix them.
TEST(ModuleFileNameTest, TheHostIsReadFromTheProcRoot) {
    char root[] = "/tmp/pallwick-proc-XXXXXX";
    ASSERT_NE(mkdtemp(root), nullptr);
    std::string self = std::string(root) + "/self";
    ASSERT_EQ(mkdir(self.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/opt/fixed/host-java", (self + "/exe").c_str()), 0);
    char expected[4096];
    ASSERT_TRUE(UnixPathToDos("/opt/fixed/host-java", expected, sizeof(expected)));

    std::string real = ModuleName(nullptr);
    setenv("PALLWICK_PROC_ROOT", (std::string(root) + "/").c_str(), 1);
    std::string fixed = ModuleName(nullptr);
    unsetenv("PALLWICK_PROC_ROOT");
    EXPECT_EQ(fixed, expected);
    EXPECT_EQ(ModuleName(nullptr), real) << "/proc without the setting";

    unlink((self + "/exe").c_str());
    rmdir(self.c_str());
    rmdir(root);
}

TEST(ModuleFileNameTest, MemoryOutsideAnyObjectIsNoModule) {
    std::vector<char> heap(64);
    char name[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA((HMODULE)heap.data(), name, sizeof(name)), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

// Removes the variables a test names and puts the process's values back afterwards.
class EnvironmentDefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = getenv(name);
            saved_.push_back(value == nullptr ? nullptr : strdup(value));
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < saved_.size(); ++i) {
            SetEnvironmentVariableA(kNames[i], saved_[i]);
            if (saved_[i] == nullptr) {
                unsetenv(kNames[i]);
            }
            free(saved_[i]);
        }
        // A default deleted here would stay deleted for every later test of the process.
        EnvironmentRestoreDefaultsForTests();
    }

    std::string Expand(const char* source) {
        char out[512];
        DWORD size = ExpandEnvironmentStringsA(source, out, sizeof(out));
        return size > 0 && size <= sizeof(out) ? std::string(out) : std::string("<failed>");
    }

    static constexpr const char* kNames[] = {"windir", "SystemRoot", "SystemDrive", "ProgramFiles",
                                             "TEMP",   "TMP",        "USERPROFILE"};
    std::vector<char*> saved_;
};

std::string UserName() {
    struct passwd* entry = getpwuid(geteuid());
    return entry != nullptr ? entry->pw_name : "";
}

TEST_F(EnvironmentDefaultsTest, WindowsVariablesTakeWinesValues) {
    EXPECT_EQ(Expand("%windir%|%SYSTEMROOT%|%SystemDrive%|%ProgramFiles%"),
              "C:\\windows|C:\\windows|C:|C:\\Program Files");
    std::string profile = "C:\\users\\" + UserName();
    EXPECT_EQ(Expand("%USERPROFILE%"), profile);
    EXPECT_EQ(Expand("%TEMP%|%TMP%"), profile + "\\Temp|" + profile + "\\Temp");
}

TEST_F(EnvironmentDefaultsTest, TheProcessEnvironmentWinsAndDeletionSticks) {
    setenv("temp", "/var/tmp", 1);
    EXPECT_EQ(Expand("%TEMP%"), "/var/tmp");
    unsetenv("temp");

    ASSERT_TRUE(SetEnvironmentVariableA("windir", NULL));
    char value[64];
    EXPECT_EQ(GetEnvironmentVariableA("WINDIR", value, sizeof(value)), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(Expand("%windir%"), "%windir%");

    ASSERT_TRUE(SetEnvironmentVariableA("WinDir", "D:\\win"));
    EXPECT_EQ(Expand("%windir%"), "D:\\win");
    EXPECT_STREQ(getenv("WinDir"), "D:\\win");
}

TEST(EnvironmentCaseTest, SettingReplacesEveryCaseVariant) {
    setenv("PALLWICK_Case", "a", 1);
    setenv("PALLWICK_CASE", "b", 1);
    ASSERT_TRUE(SetEnvironmentVariableA("Pallwick_case", "c"));
    EXPECT_EQ(getenv("PALLWICK_Case"), nullptr);
    EXPECT_EQ(getenv("PALLWICK_CASE"), nullptr);
    EXPECT_STREQ(getenv("Pallwick_case"), "c");
    ASSERT_TRUE(SetEnvironmentVariableA("PALLWICK_CASE", NULL));
    EXPECT_EQ(getenv("Pallwick_case"), nullptr);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

class TestClockTest : public ::testing::Test {
  protected:
    void TearDown() override { TestClockStop(); }
};

// Every real wait of the layer is a nanosleep the fault plan counts. The test clock must leave
// the system's sleep alone, and stopping it must bring real waits back.
unsigned long long SystemSleeps() {
    return FaultPlanCallCountOf(PosixCall::Nanosleep);
}

TEST_F(TestClockTest, SleepAdvancesVirtualTimeAtOnce) {
    TestClockStart(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
    unsigned long long sleepsBefore = SystemSleeps();
    Sleep(5000);
    Sleep(30000);
    EXPECT_EQ(GetTickCount(), 36000u);
    EXPECT_EQ(SystemSleeps(), sleepsBefore) << "no real wait";
}

TEST_F(TestClockTest, WrapsAt32BitsAsWindowsDoes) {
    TestClockStart(0xFFFFF000u);
    Sleep(0x2000);
    EXPECT_EQ(GetTickCount(), 0x1000u);
    // Agent code measures intervals by unsigned subtraction, which survives the wrap.
    EXPECT_EQ(GetTickCount() - 0xFFFFF000u, 0x2000u);
}

TEST_F(TestClockTest, ConcurrentSleepersAllAdvanceIt) {
    TestClockStart(0);
    std::vector<std::thread> sleepers;
    for (int i = 0; i < 4; ++i) {
        sleepers.emplace_back([] {
            for (int j = 0; j < 1000; ++j) {
                Sleep(10);
            }
        });
    }
    for (std::thread& sleeper : sleepers) {
        sleeper.join();
    }
    EXPECT_EQ(GetTickCount(), 40000u);
}

TEST_F(TestClockTest, StoppingReturnsToRealTime) {
    TestClockStart(5);
    TestClockStop();
    unsigned long long sleepsBefore = SystemSleeps();
    DWORD before = GetTickCount();
    Sleep(30);
    EXPECT_GT(SystemSleeps(), sleepsBefore);
    // A real sleep lasts at least as long as asked, however busy the machine.
    EXPECT_GE(GetTickCount() - before, 30u);
}

// Windows' Sleep is no alertable wait: a signal that cuts the system's sleep short leaves the
// rest of the interval to wait out.
TEST_F(TestClockTest, ASleepCutShortByASignalWaitsOutTheRest) {
    FaultPlanFailNthPosixCall(1, EINTR);
    unsigned long long sleepsBefore = SystemSleeps();
    DWORD before = GetTickCount();
    Sleep(30);
    EXPECT_EQ(SystemSleeps(), sleepsBefore + 2) << "cut short, then slept again";
    EXPECT_GE(GetTickCount() - before, 30u);
    FaultPlanClear();
}

} // namespace
