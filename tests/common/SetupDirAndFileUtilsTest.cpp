#include "Common/SetupDirAndFileUtils.h"

#include "Common/RetryLoop.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Win32.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kStartTicks = 1000;

// The retry loops run in virtual time: each 5-second pause passes at once.
class SetupDirAndFileUtilsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FaultPlanClear();
        TestClockStart(kStartTicks);
    }
    void TearDown() override {
        FaultPlanClear();
        TestClockStop();
    }

    DWORD ElapsedMs() const { return GetTickCount() - kStartTicks; }
    std::string Unix(const std::string& belowDriveC) const {
        return prefix.DriveC() + "/" + belowDriveC;
    }
    void MakeFile(const std::string& belowDriveC, bool readOnly = false) const {
        fs::create_directories(fs::path(Unix(belowDriveC)).parent_path());
        std::ofstream(Unix(belowDriveC)) << "content";
        if (readOnly) {
            chmod(Unix(belowDriveC).c_str(), 0444);
        }
    }
    size_t CountMessages(const std::string& message) const {
        size_t count = 0;
        for (const std::string& m : log.Messages()) {
            count += m == message ? 1 : 0;
        }
        return count;
    }

    TestPrefix prefix;
    LogCapture log{"setuputils-" + std::to_string(getpid())};
};

TEST_F(SetupDirAndFileUtilsTest, DoesDirExistIgnoresOneTrailingBackslash) {
    fs::create_directories(Unix("Windows"));
    MakeFile("file.txt");
    EXPECT_EQ(1, MyDoesDirExist("C:\\Windows\\"));
    EXPECT_EQ(1, MyDoesDirExist("C:\\Windows"));
    EXPECT_EQ(0, MyDoesDirExist("C:\\file.txt"));
    EXPECT_EQ(0, MyDoesDirExist("C:\\missing"));
    EXPECT_EQ(0, MyDoesDirExist(std::string(2000, 'a').c_str())) << "longer than the copy";
    EXPECT_TRUE(log.Messages().empty());

    EXPECT_EQ(0, MyDoesDirExist(nullptr));
    ASSERT_EQ(1u, log.Records().size());
    EXPECT_EQ("Assert failed: pszDir != NULL", log.Records()[0].message);
    EXPECT_EQ("MyDoesDirExist", log.Records()[0].function);
    EXPECT_EQ("SetupDirAndFileUtils", log.Records()[0].source);
}

TEST_F(SetupDirAndFileUtilsTest, CreateDirMakesTheWholeChain) {
    EXPECT_EQ(1, MyCreateDir("C:\\Apps\\Agent\\logs"));
    EXPECT_TRUE(fs::is_directory(Unix("Apps/Agent/logs")));
    EXPECT_EQ(1, MyCreateDir("C:\\Apps\\Agent\\logs\\")) << "an existing folder";
    EXPECT_EQ(0, MyCreateDir(nullptr));
    EXPECT_EQ(0u, ElapsedMs());
    EXPECT_TRUE(log.Messages().empty()) << "creating writes no records";
}

TEST_F(SetupDirAndFileUtilsTest, CreateDirReplacesAReadOnlyFileThatHoldsTheName) {
    MakeFile("Apps/logs", true);
    EXPECT_EQ(1, MyCreateDir("C:\\Apps\\logs"));
    EXPECT_TRUE(fs::is_directory(Unix("Apps/logs")));
}

TEST_F(SetupDirAndFileUtilsTest, CreateDirGivesUpWhileAFileKeepsTheName) {
    MakeFile("Apps/logs");
    FaultPlanFailEveryCall(LayerCall::DeleteFileA, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(0, MyCreateDir("C:\\Apps\\logs"));
    EXPECT_EQ(6u, FaultPlanCallCountOf(LayerCall::DeleteFileA));
    EXPECT_EQ(0u, FaultPlanCallCountOf(LayerCall::SHCreateDirectoryExA));
    EXPECT_TRUE(fs::is_regular_file(Unix("Apps/logs")));
    EXPECT_TRUE(log.Messages().empty());
}

// Every retry loop of the utilities ends here, the file in a folder's way among them.
TEST_F(SetupDirAndFileUtilsTest, AnAttemptThatSucceedsAsTimeRunsOutIsASuccess) {
    int attempts = 0;
    bool done = false;
    EXPECT_TRUE(RetryUntilDone([&] { return done; },
                               [&] {
                                   if (++attempts < 6) {
                                       return false;
                                   }
                                   TestClockStart(kStartTicks + kRetryPeriodMs);
                                   done = true;
                                   return true;
                               }));
    EXPECT_EQ(6, attempts);
}

TEST_F(SetupDirAndFileUtilsTest, CreateDirGivesUpAfterThirtySeconds) {
    EXPECT_EQ(0, MyCreateDir("Q:\\nowhere\\logs")) << "a drive that maps nowhere";
    EXPECT_GE(ElapsedMs(), 30000u);
    EXPECT_LT(ElapsedMs(), 40000u);
}

TEST_F(SetupDirAndFileUtilsTest, DeleteDirRemovesOnlyAnEmptyFolder) {
    fs::create_directories(Unix("empty"));
    EXPECT_EQ(1, MyDeleteDir("C:\\empty\\"));
    EXPECT_FALSE(fs::exists(Unix("empty")));
    EXPECT_EQ(1, MyDeleteDir("C:\\never")) << "nothing to delete";

    MakeFile("full/kept.txt");
    EXPECT_EQ(0, MyDeleteDir("C:\\full"));
    EXPECT_TRUE(fs::exists(Unix("full/kept.txt")));
    EXPECT_GE(ElapsedMs(), 30000u);
    // One attempt every 5 seconds for 30 seconds, each a warning and the system error.
    EXPECT_EQ(6u, CountMessages("Warning: problems deleting directory: C:\\full"));
    for (const LogRecord& record : log.Records()) {
        EXPECT_EQ("MyDeleteDir", record.function);
        EXPECT_EQ("3", record.level);
    }
    EXPECT_EQ(12u, log.Records().size());
    EXPECT_EQ(0u, log.Records()[1].message.find("System code: 145: ")) << "ERROR_DIR_NOT_EMPTY";
}

TEST_F(SetupDirAndFileUtilsTest, DeleteDirAndDeleteFileHandOverToEachOther) {
    MakeFile("a.txt");
    EXPECT_EQ(1, MyDeleteDir("C:\\a.txt"));
    EXPECT_FALSE(fs::exists(Unix("a.txt")));

    fs::create_directories(Unix("folder"));
    EXPECT_EQ(1, MyDeleteFile("C:\\folder"));
    EXPECT_FALSE(fs::exists(Unix("folder")));
}

TEST_F(SetupDirAndFileUtilsTest, DeleteFileClearsReadOnlyAndIgnoresMissingFiles) {
    MakeFile("ro.txt", true);
    EXPECT_EQ(1, MyDeleteFile("C:\\ro.txt"));
    EXPECT_FALSE(fs::exists(Unix("ro.txt")));
    EXPECT_EQ(1, MyDeleteFile("C:\\missing.txt"));
    EXPECT_EQ(0u, ElapsedMs());
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(SetupDirAndFileUtilsTest, DeleteFileWarnsWhileTheFileIsHeldAndGivesUp) {
    MakeFile("held.txt");
    HANDLE holder = CreateFileA("C:\\held.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_EQ(0, MyDeleteFile("C:\\held.txt"));
    CloseHandle(holder);
    EXPECT_TRUE(fs::exists(Unix("held.txt")));
    EXPECT_EQ(6u, CountMessages("Warning: problems deleting file: C:\\held.txt"));
    EXPECT_EQ(0u, log.Records()[1].message.find("System code: 32: ")) << "ERROR_SHARING_VIOLATION";

    EXPECT_EQ(0, MyDeleteFile(nullptr));
    EXPECT_EQ("Assert failed: pszFile != NULL", log.Records().back().message);
    EXPECT_EQ(0, MyDeleteDir(nullptr));
    EXPECT_EQ("Assert failed: pszDir != NULL", log.Records().back().message);
}

TEST_F(SetupDirAndFileUtilsTest, DeleteFileWarnsWhenReadOnlyCannotBeCleared) {
    MakeFile("stuck.txt", true);
    // No file here refuses the change to a process that owns it.
    FaultPlanFailEveryCall(LayerCall::SetFileAttributesA, ERROR_ACCESS_DENIED);
    int result = MyDeleteFile("C:\\stuck.txt");
    FaultPlanClear();
    EXPECT_EQ(0, result) << "Windows deletes no read-only file";
    EXPECT_EQ("Warning: problems removing read-only attributes: C:\\stuck.txt",
              log.Records()[0].message);
    EXPECT_EQ(0u, log.Records()[1].message.find("System code: 5: "));
}

// Five refused attempts, then one that succeeds but outlasts the 30 seconds, as on a slow disk.
DWORD RefuseFiveDeletesThenTakeLong(LayerCall call, const char*, void*) {
    if (call != LayerCall::DeleteFileA) {
        return ERROR_SUCCESS;
    }
    if (FaultPlanCallCountOf(LayerCall::DeleteFileA) < 6) {
        return ERROR_SHARING_VIOLATION;
    }
    TestClockStart(kStartTicks + 30000);
    return ERROR_SUCCESS;
}

TEST_F(SetupDirAndFileUtilsTest, DeleteFileThatSucceedsAsTimeRunsOutReportsSuccess) {
    MakeFile("late.txt");
    FaultPlanSetAreaHook(FaultArea::Files, &RefuseFiveDeletesThenTakeLong, nullptr);
    EXPECT_EQ(1, MyDeleteFile("C:\\late.txt"));
    EXPECT_EQ(6u, FaultPlanCallCountOf(LayerCall::DeleteFileA));
    EXPECT_FALSE(fs::exists(Unix("late.txt")));
}

TEST_F(SetupDirAndFileUtilsTest, CreateDirWhoseBlockingFileGoesAsTimeRunsOutSucceeds) {
    MakeFile("Apps/logs");
    FaultPlanSetAreaHook(FaultArea::Files, &RefuseFiveDeletesThenTakeLong, nullptr);
    EXPECT_EQ(1, MyCreateDir("C:\\Apps\\logs"));
    EXPECT_EQ(6u, FaultPlanCallCountOf(LayerCall::DeleteFileA));
    EXPECT_TRUE(fs::is_directory(Unix("Apps/logs")));
}

} // namespace
