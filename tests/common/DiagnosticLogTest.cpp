#include "Common/DiagnosticLog.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

#define LOG_SOURCE "Common\\Tests\\LogTest"

class DiagnosticLogTest : public ::testing::Test {
  protected:
    void SetUp() override { FaultPlanClear(); }

    // The log's flushes, as the layer's fault plan counts them.
    static int Flushes() {
        return static_cast<int>(FaultPlanCallCountOf(LayerCall::FlushFileBuffers));
    }
    std::string LogText() const { return capture.Text(); }
    std::vector<LogRecord> Records() const { return capture.Records(); }
    static std::string ReadAll(const std::string& path) { return ReadWholeFile(path); }

    LogCapture capture{"logtest-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const std::string logPath = capture.DosPath();
    const std::string unixLogPath = capture.UnixPath();
};

TEST_F(DiagnosticLogTest, RecordCarriesFunctionThreadLineMessageSourceTimeAndLevel) {
    SYSTEMTIME before;
    GetLocalTime(&before);
    LogMessage(kLogInfo, "InventoryAgents\\NativeWinNTServices\\NativeWinNTServices",
               "addServiceInformationToVector", 140, "Service count: %d", 42);
    LogMessage(kLogError, "SetupDirAndFileUtils", "MyDeleteFile", 7,
               "Warning: problems deleting file: %s", "C:\\temp\\a.txt");

    std::vector<LogRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    char threadId[16];
    snprintf(threadId, sizeof threadId, "%X", (unsigned)GetCurrentThreadId());
    EXPECT_EQ("addServiceInformationToVector", records[0].function);
    EXPECT_EQ(threadId, records[0].threadId);
    EXPECT_EQ("140", records[0].line);
    EXPECT_EQ("", records[0].marker);
    EXPECT_EQ("Service count: 42", records[0].message);
    EXPECT_EQ("NativeWinNTServices", records[0].source);
    EXPECT_EQ("2", records[0].level);
    EXPECT_EQ("*****: ", records[1].marker);
    EXPECT_EQ("Warning: problems deleting file: C:\\temp\\a.txt", records[1].message);
    EXPECT_EQ("SetupDirAndFileUtils", records[1].source) << "a source without backslash";
    EXPECT_EQ("3", records[1].level);

    SYSTEMTIME after;
    GetLocalTime(&after);
    // The records carry the date of the moment they were written, which may be past midnight.
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    auto carries = [&](const SYSTEMTIME& day) {
        char stamp[32];
        snprintf(stamp, sizeof stamp, "<x %s %02d ", months[day.wMonth - 1], day.wDay);
        std::string text = LogText();
        size_t at = text.find(stamp);
        snprintf(stamp, sizeof stamp, " %04d><thread=2>\r\n", day.wYear);
        return at != std::string::npos && text.find(stamp, at) != std::string::npos;
    };
    EXPECT_TRUE(carries(before) || carries(after)) << LogText();
}

TEST_F(DiagnosticLogTest, ThresholdDecidesWhichLevelsAreWrittenAndFlushed) {
    struct Case {
        int32_t threshold;
        const char* levels; // the levels written of 1, 2, 3
        int flushes;
    } cases[] = {{2, "23", 0}, {0, "123", 3}, {-5, "123", 0},
                 {4, "", 0},   {1, "123", 0}, {3, "3", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("threshold " + std::to_string(c.threshold));
        OpenLogFile(logPath.c_str());
        std::filesystem::resize_file(unixLogPath, 0);
        DiagnosticLog.threshold = c.threshold;
        FaultPlanClear();
        for (int level = 1; level <= 3; ++level) {
            LogMessage(level, LOG_SOURCE, "Levels", __LINE__, "level %d", level);
        }
        std::string written;
        for (const LogRecord& r : Records()) {
            written += r.level;
        }
        EXPECT_EQ(c.levels, written);
        EXPECT_EQ(c.flushes, Flushes());
        EXPECT_TRUE(FlushFileBuffers(DiagnosticLog.logFile))
            << "the log's append-only handle may flush";
    }
}

// While another thread holds the log's lock, a record below the threshold is dropped at once and
// one above it waits for the lock.
TEST_F(DiagnosticLogTest, ARecordBelowTheThresholdDoesNotWaitForTheLock) {
    std::atomic<bool> held{false}, release{false}, belowDone{false}, aboveDone{false};
    std::thread holder([&] {
        EnterCriticalSection(&DiagnosticLog.logLock);
        held = true;
        while (!release) {
            std::this_thread::yield();
        }
        LeaveCriticalSection(&DiagnosticLog.logLock);
    });
    while (!held) {
        std::this_thread::yield();
    }
    std::thread below([&] {
        LogMessage(kLogDetail, LOG_SOURCE, "Below", __LINE__, "not written");
        belowDone = true;
    });
    for (int waited = 0; waited < 10000 && !belowDone; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(belowDone) << "a silenced record queued for the lock";
    std::thread above([&] {
        LogMessage(kLogError, LOG_SOURCE, "Above", __LINE__, "written");
        aboveDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(aboveDone) << "a written record went past the lock";
    release = true;
    holder.join();
    below.join();
    above.join();
    EXPECT_TRUE(aboveDone);
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("written", records[0].message);
}

TEST_F(DiagnosticLogTest, AssertionFailureIsRecordedAndFlushedEvenWhenSilenced) {
    LOG_ASSERT_FAILED("MyDoesDirExist", "pszDir != NULL");
    ASSERT_EQ(1u, Records().size());
    EXPECT_EQ("Assert failed: pszDir != NULL", Records()[0].message);
    EXPECT_EQ("*****: ", Records()[0].marker);
    EXPECT_EQ(1, Flushes());

    DiagnosticLog.threshold = 4;
    LOG_ASSERT_FAILED("MyDoesDirExist", "pszDir != NULL");
    EXPECT_EQ(1u, Records().size());
    EXPECT_EQ(2, Flushes());
    EXPECT_TRUE(FlushFileBuffers(DiagnosticLog.logFile));

    CloseLogFile();
    LOG_ASSERT_FAILED("MyDoesDirExist", "pszDir != NULL");
    EXPECT_EQ(3, Flushes()) << "nothing to flush while the log is closed";
}

TEST_F(DiagnosticLogTest, SystemErrorTextLosesItsLineBreakOnly) {
    struct Case {
        const char* text;
        const char* logged;
    } cases[] = {{"Access is denied.\r\n", "Access is denied."},
                 {"One line\n", "One line"},
                 {"Ends in LF CR\n\r", "Ends in LF CR"},
                 {"Three\r\n\n", "Three\r"},
                 {"\r\n", ""},
                 {"No break", "No break"}};
    for (const Case& c : cases) {
        char text[64];
        snprintf(text, sizeof text, "%s", c.text);
        TrimLineBreak(text);
        EXPECT_STREQ(c.logged, text) << c.text;
    }
    // The system's own text, as the record carries it.
    char expected[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, 5, 0, expected, sizeof expected, nullptr);
    ASSERT_GT(length, 2u);
    ASSERT_EQ('\n', expected[length - 1]) << "a system text ends in a line break";
    TrimLineBreak(expected);
    SetLastError(5);
    LOG_SYSTEM_ERROR("MyDeleteFile");
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(std::string("System code: 5: ") + expected, records[0].message);
    EXPECT_EQ("3", records[0].level);
}

TEST_F(DiagnosticLogTest, SystemErrorIsWrittenWhateverTheThresholdAndUnknownCodesHaveNoText) {
    DiagnosticLog.threshold = 4;
    SetLastError(2);
    LOG_SYSTEM_ERROR("MyDeleteFile");
    SetLastError(0xDEADBEEF);
    LOG_SYSTEM_ERROR("MyDeleteFile");
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(0u, records[0].message.find("System code: 2: "));
    EXPECT_GT(records[0].message.size(), strlen("System code: 2: "));
    EXPECT_EQ(std::string::npos, records[0].message.find('\n'));
    EXPECT_EQ("System code: -559038737: ", records[1].message);
}

TEST_F(DiagnosticLogTest, LongMessageIsCutAndKeepsItsTrailer) {
    std::string longText(40000, 'a');
    LogMessage(kLogInfo, LOG_SOURCE, "Long", __LINE__, "%s", longText.c_str());
    LogMessage(kLogInfo, LOG_SOURCE, "Exact", __LINE__, "%s",
               longText.substr(0, kLogMessageRoom).c_str());
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(std::string(kLogMessageRoom, 'a'), records[0].message);
    EXPECT_EQ(std::string(kLogMessageRoom, 'a'), records[1].message);
}

// The size is checked on the 128th to 255th record of every 256; at or over the limit the log
// moves to ".BAK", replacing an older one, and the record goes into a fresh file.
TEST_F(DiagnosticLogTest, RotatesAtExactlyTheSizeLimitOnCheckedRecordsOnly) {
    std::string backup = unixLogPath + ".BAK";
    {
        std::ofstream old(backup, std::ios::binary);
        old << "an older backup";
    }
    DiagnosticLog.sizeLimit = 20000;
    std::string filler(1000, 'f');
    LogMessage(kLogInfo, LOG_SOURCE, "Fill", __LINE__, "%s", filler.c_str());
    std::filesystem::resize_file(unixLogPath, 20000);

    DiagnosticLog.recordCounter = 0x00; // next record is number 1: no check
    LogMessage(kLogInfo, LOG_SOURCE, "Unchecked", __LINE__, "not rotated");
    EXPECT_GT(std::filesystem::file_size(unixLogPath), 20000u);
    EXPECT_EQ("an older backup", ReadAll(backup));

    std::filesystem::resize_file(unixLogPath, 19999);
    DiagnosticLog.recordCounter = 0x7F; // next is 0x80: checked, but one byte short of the limit
    LogMessage(kLogInfo, LOG_SOURCE, "Short", __LINE__, "not rotated");
    EXPECT_GT(std::filesystem::file_size(unixLogPath), 19999u);

    std::filesystem::resize_file(unixLogPath, 20000);
    DiagnosticLog.recordCounter = 0x7F;
    SetLastError(1234);
    LogMessage(kLogInfo, LOG_SOURCE, "Rotated", __LINE__, "first of the new file");
    EXPECT_EQ(1234u, GetLastError()) << "a record must not change the thread's last error";
    EXPECT_EQ(20000u, std::filesystem::file_size(backup));
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("first of the new file", records[0].message);

    std::filesystem::resize_file(unixLogPath, 30000);
    DiagnosticLog.recordCounter = 0xFF; // next is 0x100: bit 7 clear, no check
    LogMessage(kLogInfo, LOG_SOURCE, "Unchecked", __LINE__, "not rotated");
    DiagnosticLog.recordCounter = 0xFFFF; // the 16-bit counter wraps to 0: no check
    LogMessage(kLogInfo, LOG_SOURCE, "Wrapped", __LINE__, "not rotated");
    EXPECT_EQ(20000u, std::filesystem::file_size(backup));
    EXPECT_EQ(0u, DiagnosticLog.recordCounter);
}

// Another process's turn: while it holds the rotation lock, a full log takes the records without
// waiting and rotates at the first size-checking record after; a log it has rotated is followed,
// not rotated again.
TEST_F(DiagnosticLogTest, RotationTakesTurnsWithOtherProcessesAndNeverWaits) {
    std::string backup = unixLogPath + ".BAK";
    DiagnosticLog.sizeLimit = 20000;
    LogMessage(kLogInfo, LOG_SOURCE, "Fill", __LINE__, "full");
    std::filesystem::resize_file(unixLogPath, 20000);
    HANDLE other = CreateFileA(logPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    OVERLAPPED at = {};
    at.Offset = kLogRotationLockOffset;
    at.OffsetHigh = kLogRotationLockOffsetHigh;
    ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
    DiagnosticLog.recordCounter = 0x7F;
    LogMessage(kLogInfo, LOG_SOURCE, "Held", __LINE__, "into the full log");
    EXPECT_FALSE(std::filesystem::exists(backup));
    EXPECT_NE(std::string::npos, ReadAll(unixLogPath).find("into the full log"));

    UnlockFileEx(other, 0, 1, 0, &at);
    CloseHandle(other);
    LogMessage(kLogInfo, LOG_SOURCE, "Released", __LINE__, "first of the new file");
    EXPECT_EQ(1u, Records().size()) << "the next checked record rotated";
    EXPECT_NE(std::string::npos, ReadAll(backup).find("into the full log"));

    // Another process moves the full log to the backup and starts a new one.
    std::filesystem::resize_file(unixLogPath, 20000);
    std::filesystem::remove(backup);
    std::filesystem::rename(unixLogPath, backup);
    std::ofstream(unixLogPath, std::ios::binary) << "another process's record\r\n";
    FaultPlanClear();
    LogMessage(kLogInfo, LOG_SOURCE, "Followed", __LINE__, "after the other's record");
    EXPECT_EQ(0u, FaultPlanCallCountOf(LayerCall::MoveFileA)) << "rotated a second time";
    EXPECT_EQ(20000u, std::filesystem::file_size(backup));
    EXPECT_EQ("another process's record\r\n", ReadAll(unixLogPath).substr(0, 26));
    EXPECT_NE(std::string::npos, ReadAll(unixLogPath).find("after the other's record"));
}

// A handle of another program that does not share deletion refuses the move: the old backup is
// put back as it was, and the log writes on without trying again until the next run of
// size-checking records.
TEST_F(DiagnosticLogTest, ARefusedRotationKeepsTheBackupAndWaitsForTheNextRun) {
    std::string backup = unixLogPath + ".BAK";
    std::ofstream(backup, std::ios::binary) << "an older backup";
    DiagnosticLog.sizeLimit = 20000;
    LogMessage(kLogInfo, LOG_SOURCE, "Fill", __LINE__, "full");
    std::filesystem::resize_file(unixLogPath, 20000);
    HANDLE reader = CreateFileA(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);

    FaultPlanClear();
    DiagnosticLog.recordCounter = 0x7F;
    LogMessage(kLogInfo, LOG_SOURCE, "Refused", __LINE__, "not rotated");
    EXPECT_EQ(3u, FaultPlanCallCountOf(LayerCall::MoveFileA)) << "aside, refused, and back";
    EXPECT_EQ("an older backup", ReadAll(backup));
    size_t files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(unixLogPath).parent_path())) {
        files += entry.is_regular_file();
    }
    EXPECT_EQ(2u, files) << "the log and its backup, nothing beside them";
    LogMessage(kLogInfo, LOG_SOURCE, "Deferred", __LINE__, "not tried");
    EXPECT_EQ(3u, FaultPlanCallCountOf(LayerCall::MoveFileA));
    EXPECT_GT(std::filesystem::file_size(unixLogPath), 20000u);

    CloseHandle(reader);
    DiagnosticLog.recordCounter = 0x17F;
    LogMessage(kLogInfo, LOG_SOURCE, "NextRun", __LINE__, "first of the new file");
    std::vector<LogRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("first of the new file", records[0].message);
    EXPECT_NE(std::string::npos, ReadAll(backup).find("not tried"));
}

TEST_F(DiagnosticLogTest, ClosedLogDropsRecords) {
    CloseLogFile();
    LogMessage(kLogError, LOG_SOURCE, "Closed", __LINE__, "dropped");
    SetLastError(5);
    LOG_SYSTEM_ERROR("Closed");
    EXPECT_EQ(5u, GetLastError());
    EXPECT_EQ("", LogText());
}

TEST_F(DiagnosticLogTest, RecordsOfManyThreadsNeverInterleave) {
    constexpr int threads = 8, perThread = 400;
    DiagnosticLog.sizeLimit = 0xFFFFFFFF;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([t] {
            std::string payload(100 + t * 37, (char)('a' + t));
            for (int i = 0; i < perThread; ++i) {
                LogMessage(kLogInfo, LOG_SOURCE, "Writer", (uint32_t)t, "%d %s", i,
                           payload.c_str());
                if (i % 50 == 0) {
                    SetLastError((DWORD)t);
                    LOG_SYSTEM_ERROR("Writer");
                }
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::vector<LogRecord> records = Records();
    ASSERT_EQ((size_t)threads * (perThread + perThread / 50), records.size());
    for (const LogRecord& r : records) {
        if (r.level == "3") {
            continue;
        }
        int t = std::stoi(r.line);
        std::string payload(100 + t * 37, (char)('a' + t));
        EXPECT_EQ(payload, r.message.substr(r.message.find(' ') + 1)) << "record of thread " << t;
    }
}

} // namespace
