#include "Common/DiagnosticLog.h"
#include "Common/DiagnosticLogStartup.h"

#include "Platform/Win32.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Machine.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Settings of the log: the level from the registry, the size limit from the side file.
class LogSettingsTest : public ::testing::Test {
  protected:
    void TearDown() override {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane");
        DiagnosticLog.threshold = kLogInfo;
        DiagnosticLog.sizeLimit = kLogDefaultSizeLimit;
    }
    static void SetLevelValue(DWORD type, const void* data, DWORD size) {
        ASSERT_TRUE(SetValue("SOFTWARE\\Quorvane", "NativeLoggingLevelValue", type, data, size));
    }
    static int32_t LevelFrom(DWORD type, const void* data, DWORD size) {
        SetLevelValue(type, data, size);
        DiagnosticLog.threshold = 99;
        ReadLogLevel();
        return DiagnosticLog.threshold;
    }
    uint32_t LimitFrom(const char* sideFileText) {
        std::ofstream(folder + "/test.LOG.size") << sideFileText;
        DiagnosticLog.sizeLimit = kLogDefaultSizeLimit;
        ReadLogSizeLimit((folder + "\\test.LOG").c_str());
        return DiagnosticLog.sizeLimit;
    }
    TestPrefix prefix;
    std::string folder = "logsettings-" + std::to_string(getpid());
};

TEST_F(LogSettingsTest, LevelComesFromADwordValueOnly) {
    DiagnosticLog.threshold = 7;
    ReadLogLevel();
    EXPECT_EQ(7, DiagnosticLog.threshold) << "no key: the level at load stays";

    DWORD zero = 0, four = 4, minusOne = 0xFFFFFFFF;
    EXPECT_EQ(0, LevelFrom(REG_DWORD, &zero, 4));
    EXPECT_EQ(4, LevelFrom(REG_DWORD, &four, 4));
    EXPECT_EQ(-1, LevelFrom(REG_DWORD, &minusOne, 4));
    EXPECT_EQ(2, LevelFrom(REG_SZ, "1", 2)) << "a text value";
    unsigned long long wide = 1;
    EXPECT_EQ(2, LevelFrom(REG_BINARY, &wide, 8)) << "larger than four bytes";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane");
    PutKey("SOFTWARE\\Quorvane");
    DiagnosticLog.threshold = 99;
    ReadLogLevel();
    EXPECT_EQ(2, DiagnosticLog.threshold) << "a key without the value";
}

TEST_F(LogSettingsTest, SizeLimitComesFromTheSideFileAboveTenKilobytes) {
    fs::create_directories(folder);
    EXPECT_EQ(20000000u, LimitFrom("20000000"));
    EXPECT_EQ(10241u, LimitFrom("10241"));
    EXPECT_EQ(30000u, LimitFrom("  30000 bytes"));
    EXPECT_EQ(2147483647u, LimitFrom("99999999999")) << "held to a 32-bit long, as on Windows";
    EXPECT_EQ(kLogDefaultSizeLimit, LimitFrom("10240"));
    EXPECT_EQ(kLogDefaultSizeLimit, LimitFrom("5000"));
    EXPECT_EQ(kLogDefaultSizeLimit, LimitFrom("abc"));
    EXPECT_EQ(kLogDefaultSizeLimit, LimitFrom("-1"));
    fs::remove_all(folder);
    DiagnosticLog.sizeLimit = 12345;
    ReadLogSizeLimit((folder + "\\test.LOG").c_str());
    EXPECT_EQ(12345u, DiagnosticLog.sizeLimit) << "no side file";
}

TEST_F(LogSettingsTest, OpenPlacesTheLogAndMakesItsFolder) {
    OpenDiagnosticLog(WindowsDir, "QuorvaneSetupLogs\\Client\\Pallwick.LOG");
    EXPECT_TRUE(fs::exists(prefix.DriveC() + "/windows/QuorvaneSetupLogs/Client/Pallwick.LOG"));
    OpenDiagnosticLog(42, "ignored.LOG");
    EXPECT_TRUE(fs::exists(prefix.DriveC() + "/QuorvaneNative.LOG")) << "an unknown placement";
    OpenDiagnosticLog(Explicit, "C:\\x\\explicit.LOG");
    EXPECT_TRUE(fs::exists(prefix.DriveC() + "/x/explicit.LOG"));
    LogMessage(kLogError, "Test", "Open", 1, "appended");
    OpenDiagnosticLog(Explicit, "C:\\x\\explicit.LOG");
    LogMessage(kLogError, "Test", "Open", 2, "appended");
    CloseLogFile();
    std::string text = ReadWholeFile(prefix.DriveC() + "/x/explicit.LOG");
    EXPECT_NE(text.find("appended"), text.rfind("appended")) << "an existing log is appended to";
    OpenDiagnosticLog(Explicit, nullptr);
    EXPECT_EQ(nullptr, DiagnosticLog.logFile.load());
}

// Where the log goes for which host: copies of a small host program, under the names each case
// needs, load copies of the library and exit; the log file shows where the library put it.
class LogPlacementTest : public ::testing::Test {
  protected:
    // Runs the host at drive_c/<host> loading the library copied to drive_c/<library>.
    void Load(const std::string& host, const std::string& library) {
        std::string hostPath = prefix.DriveC() + "/" + host;
        std::string libraryPath = prefix.DriveC() + "/" + library;
        fs::create_directories(fs::path(hostPath).parent_path());
        fs::create_directories(fs::path(libraryPath).parent_path());
        fs::copy_file(PALLWICK_LOG_HOST, hostPath, fs::copy_options::overwrite_existing);
        fs::copy_file(PALLWICK_LIBRARY_PATH, libraryPath, fs::copy_options::overwrite_existing);
        std::string command = "'" + hostPath + "' '" + libraryPath + "'";
        int status = system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    }
    bool LogAt(const std::string& belowDriveC) const {
        return fs::is_regular_file(prefix.DriveC() + "/" + belowDriveC);
    }
    TestPrefix prefix;
};

TEST_F(LogPlacementTest, AnAgentLogsNextToItsInstallation) {
    Load("Apps/Agent/bin/javaw.exe", "Apps/Agent/lib/libPallwick.so");
    EXPECT_TRUE(LogAt("Apps/Agent/logs/libPallwick.LOG"));
    Load("host.exe", "lib/libPallwick.x64.so");
    EXPECT_TRUE(LogAt("logs/libPallwick.LOG")) << "one backslash; cut at the first dot";
}

TEST_F(LogPlacementTest, TheWorkbenchLogsBesideItself) {
    Load("Tools/QuorvaneWorkbench.exe", "Tools/lib/libPallwick.so");
    EXPECT_TRUE(LogAt("Tools/logs/libPallwick.LOG"));
}

TEST_F(LogPlacementTest, SetupProgramsLogBelowTheWindowsFolderByKind) {
    Load("Temp/ServerSetup.exe", "Temp/libPallwick.so");
    EXPECT_TRUE(LogAt("windows/QuorvaneSetupLogs/Server/libPallwick.LOG"));
    Load("Temp/ClientSETUP.EXE", "Temp/libPallwick.so");
    EXPECT_TRUE(LogAt("windows/QuorvaneSetupLogs/Client/libPallwick.LOG"));
    Load("Temp/WorkbenchSetup.exe", "Temp/libPallwick.so");
    EXPECT_TRUE(LogAt("windows/QuorvaneSetupLogs/Workbench/libPallwick.LOG"));
    Load("Temp/Uninstaller.exe", "Temp/libPallwick.so");
    EXPECT_TRUE(LogAt("windows/QuorvaneSetupLogs/libPallwick.LOG"));
}

} // namespace
