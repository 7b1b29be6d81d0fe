// The event log file format below the Win32 functions: the ring and its split records, dirty
// files, retention, damaged files, and appends from two processes at once.
#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "tests/support/TestPrefix.h"
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class EventLogFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char path[] = "/tmp/pallwick-evt-XXXXXX";
        descriptor_ = mkstemp(path);
        ASSERT_GE(descriptor_, 0);
        path_ = path;
        ASSERT_EQ(ERROR_SUCCESS, EvtLoadLayout(descriptor_, &layout_));
    }
    void TearDown() override {
        close(descriptor_);
        unlink(path_.c_str());
    }

    // Record `number`: its event id is its number, its strings grow and shrink with it, so that
    // records of many sizes meet the file's end.
    std::string MakeRecord(DWORD number, DWORD when = 1000) {
        std::string text((number * 7) % 50, 'a');
        const char* strings[] = {text.c_str(), "two"};
        BYTE data[5] = {1, 2, 3, 4, 5};
        EvtNewRecord parts = {number, when,    when,   number,           EVENTLOG_ERROR_TYPE,
                              1,      "Src",   "HOST", nullptr,          0,
                              2,      strings, data,   DWORD(number % 6)};
        return EvtBuildRecord(parts);
    }

    DWORD Append(DWORD when = 1000, bool leaveDirty = false) {
        return EvtAppend(descriptor_, &layout_, MakeRecord(layout_.next, when), when, leaveDirty);
    }

    // Reads the file afresh and walks every record both ways; the first error, if any.
    DWORD ReadAll(std::vector<DWORD>* forwards, bool* split = nullptr) {
        EvtLayout layout;
        DWORD error = EvtLoadLayout(descriptor_, &layout);
        DWORD offset = layout.start;
        std::string record;
        std::string ansi;
        for (DWORD n = 0; error == ERROR_SUCCESS && n < EvtRecordCount(layout); ++n) {
            error = EvtReadRecord(descriptor_, layout, offset, &record);
            if (error == ERROR_SUCCESS && !EvtRecordToAnsi(record, &ansi)) {
                error = ERROR_EVENTLOG_FILE_CORRUPT;
            }
            if (error == ERROR_SUCCESS) {
                const EVENTLOGRECORD* fixed = reinterpret_cast<const EVENTLOGRECORD*>(ansi.data());
                EXPECT_EQ(fixed->RecordNumber, fixed->EventID);
                forwards->push_back(fixed->RecordNumber);
                if (split != nullptr && offset + record.size() > layout.ringEnd) {
                    *split = true;
                }
                offset = EvtRingAdvance(layout, offset, DWORD(record.size()));
            }
        }
        // Backwards from the end-of-file record, by the closing lengths.
        offset = layout.end;
        for (DWORD n = EvtRecordCount(layout); error == ERROR_SUCCESS && n > 0; --n) {
            error = EvtPreviousOffset(descriptor_, layout, offset, &offset);
            if (error == ERROR_SUCCESS) {
                error = EvtReadRecord(descriptor_, layout, offset, &record);
            }
            if (error == ERROR_SUCCESS) {
                EXPECT_EQ((*forwards)[n - 1],
                          reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber);
            }
        }
        return error;
    }

    EvtHeader HeaderOnDisk() {
        EvtHeader header;
        EXPECT_EQ(ssize_t(sizeof header), pread(descriptor_, &header, sizeof header, 0));
        return header;
    }

    int descriptor_ = -1;
    std::string path_;
    EvtLayout layout_;
};

TEST_F(EventLogFileTest, RingWrapsSplittingRecordsAndKeepsTheNewestInOrder) {
    layout_.header.maxSize = 0x600;
    bool split = false;
    for (DWORD i = 1; i <= 150; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, Append()) << i;
        std::vector<DWORD> numbers;
        ASSERT_EQ(ERROR_SUCCESS, ReadAll(&numbers, &split)) << i;
        ASSERT_FALSE(numbers.empty());
        EXPECT_EQ(i, numbers.back());
        for (size_t k = 1; k < numbers.size(); ++k) {
            ASSERT_EQ(numbers[k - 1] + 1, numbers[k]) << "after record " << i;
        }
        struct stat info;
        fstat(descriptor_, &info);
        ASSERT_LE(info.st_size, 0x600);
    }
    EXPECT_TRUE(split) << "no record was split across the file's end";
    EvtHeader header = HeaderOnDisk();
    EXPECT_EQ(kEvtFlagWrap, header.flags);
    EXPECT_EQ(151u, header.currentRecordNumber);
    EXPECT_GT(header.oldestRecordNumber, 100u);
}

TEST_F(EventLogFileTest, DirtyFileIsReadFromItsEndOfFileRecord) {
    layout_.header.maxSize = 0x800;
    for (DWORD i = 1; i <= 60; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, Append(1000, i > 52));
    }
    EvtHeader stale = HeaderOnDisk();
    EXPECT_EQ(kEvtFlagDirty | kEvtFlagWrap, stale.flags);
    EXPECT_EQ(53u, stale.currentRecordNumber);
    std::vector<DWORD> numbers;
    ASSERT_EQ(ERROR_SUCCESS, ReadAll(&numbers));
    EXPECT_EQ(60u, numbers.back());
    // The next append takes up from the truth and leaves a clean header.
    ASSERT_EQ(ERROR_SUCCESS, EvtLoadLayout(descriptor_, &layout_));
    ASSERT_EQ(ERROR_SUCCESS, Append());
    EXPECT_EQ(kEvtFlagWrap, HeaderOnDisk().flags);
    EXPECT_EQ(62u, HeaderOnDisk().currentRecordNumber);
}

TEST_F(EventLogFileTest, DirtyFileWhoseEndOfFileRecordIsSplit) {
    layout_.header.maxSize = 0x600;
    for (DWORD i = 1; i <= 400; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, Append(1000, true));
        if (layout_.end + kEvtEofSize > layout_.ringEnd) {
            std::vector<DWORD> numbers;
            ASSERT_EQ(ERROR_SUCCESS, ReadAll(&numbers)) << "after record " << i;
            EXPECT_EQ(i, numbers.back());
            return;
        }
    }
    FAIL() << "no end-of-file record was split";
}

TEST_F(EventLogFileTest, RetentionKeepsRecordsUntilTheyAreOldEnough) {
    layout_.header.maxSize = 0x400;
    layout_.header.retention = 3600;
    DWORD error = ERROR_SUCCESS;
    for (DWORD i = 1; i <= 40 && error == ERROR_SUCCESS; ++i) {
        error = Append(5000);
    }
    EXPECT_EQ(DWORD(ERROR_LOG_FILE_FULL), error);
    EXPECT_TRUE(HeaderOnDisk().flags & kEvtFlagLogFullWritten);
    std::vector<DWORD> kept;
    ASSERT_EQ(ERROR_SUCCESS, ReadAll(&kept));
    EXPECT_EQ(1u, kept.front()) << "nothing young enough was overwritten";
    EXPECT_EQ(ERROR_SUCCESS, Append(5000 + 3600));
    EXPECT_FALSE(HeaderOnDisk().flags & kEvtFlagLogFullWritten);
    layout_.header.retention = 0xFFFFFFFF;
    error = ERROR_SUCCESS;
    for (DWORD i = 1; i <= 40 && error == ERROR_SUCCESS; ++i) {
        error = Append(0xFFFFFF00);
    }
    EXPECT_EQ(DWORD(ERROR_LOG_FILE_FULL), error) << "a log kept for ever never overwrites";
}

// Each damage to a sound log ends reading with ERROR_EVENTLOG_FILE_CORRUPT: no read outside
// the file, no walk that goes round the ring for ever.
TEST_F(EventLogFileTest, DamagedFilesEndReadingWithAnError) {
    for (DWORD i = 1; i <= 12; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, Append());
    }
    std::vector<DWORD> numbers;
    ASSERT_EQ(ERROR_SUCCESS, ReadAll(&numbers));
    struct stat info;
    fstat(descriptor_, &info);
    std::string sound(size_t(info.st_size), '\0');
    ASSERT_EQ(info.st_size, pread(descriptor_, &sound[0], sound.size(), 0));
    EvtHeader header;
    memcpy(&header, sound.data(), sizeof header);
    DWORD third = 0;
    {
        EvtLayout layout;
        EvtLoadLayout(descriptor_, &layout);
        EvtFindRecord(descriptor_, layout, 3, 0, 0, &third);
    }
    auto putDword = [](std::string* bytes, size_t at, DWORD value) {
        memcpy(&(*bytes)[at], &value, 4);
    };
    auto getDword = [](const std::string& bytes, size_t at) {
        DWORD value;
        memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    DWORD thirdLength = getDword(sound, third);
    const struct {
        const char* what;
        std::function<void(std::string*)> damage;
    } cases[] = {
        {"truncated in the last record", [&](std::string* b) { b->resize(header.endOffset - 20); }},
        {"closing length disagrees",
         [&](std::string* b) { putDword(b, third + thirdLength - 4, thirdLength + 4); }},
        {"length past the end", [&](std::string* b) { putDword(b, third, 0x100000); }},
        {"length zero", [&](std::string* b) { putDword(b, third, 0); }},
        {"start offset past the end",
         [&](std::string* b) { putDword(b, 16, DWORD(b->size()) + 64); }},
        {"end offset past the end", [&](std::string* b) { putDword(b, 20, 0x7FFFFFF0); }},
        {"bad header signature", [&](std::string* b) { (*b)[4] = 'X'; }},
        {"bad record signature", [&](std::string* b) { (*b)[third + 4] = 'X'; }},
        {"more records than fit", [&](std::string* b) { putDword(b, 24, 100000); }},
        {"strings past the record", [&](std::string* b) { putDword(b, third + 24, 0xFFFF0001); }},
        {"dirty without an end-of-file record",
         [&](std::string* b) {
             putDword(b, 36, kEvtFlagDirty);
             (*b)[header.endOffset + 4] = 0;
         }},
    };
    for (const auto& each : cases) {
        std::string damaged = sound;
        each.damage(&damaged);
        ASSERT_EQ(0, ftruncate(descriptor_, 0));
        ASSERT_EQ(ssize_t(damaged.size()), pwrite(descriptor_, damaged.data(), damaged.size(), 0));
        std::vector<DWORD> read;
        EXPECT_EQ(DWORD(ERROR_EVENTLOG_FILE_CORRUPT), ReadAll(&read)) << each.what;
    }
}

// A record without a SID may name any SID offset: the offset of an empty field is never read.
TEST_F(EventLogFileTest, EmptySidAnywhereStillConverts) {
    std::string record = MakeRecord(1);
    DWORD farAway = 0xFFFF0000;
    memcpy(&record[offsetof(EVENTLOGRECORD, UserSidOffset)], &farAway, 4);
    std::string ansi;
    ASSERT_TRUE(EvtRecordToAnsi(record, &ansi));
    EXPECT_EQ(0u, reinterpret_cast<const EVENTLOGRECORD*>(ansi.data())->UserSidLength);
}

// Two processes reporting to one log at once: every record of both is kept, numbered once.
TEST(EventLogProcessesTest, AppendsFromTwoProcessesAreAllKept) {
    char folder[] = "/tmp/pallwick-evtproc-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    std::string file = std::string("Z:") + folder + "/shared.evt";
    HKEY log = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Services\\EventLog\\PallwickShared", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &log, nullptr));
    RegSetValueExA(log, "File", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   DWORD(file.size() + 1));
    RegCloseKey(log);
    const int kEach = 150;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            HANDLE source = OpenEventLogA(nullptr, "PallwickShared");
            bool done = source != nullptr;
            for (int i = 0; done && i < kEach; ++i) {
                done = ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, DWORD(c * 1000 + i),
                                    nullptr, 0, 0, nullptr, nullptr) != FALSE;
            }
            _exit(done ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HANDLE reader = OpenEventLogA(nullptr, "PallwickShared");
    std::vector<BYTE> buffer(0x10000);
    std::vector<int> seen(2 * kEach, 0);
    DWORD expected = 1;
    DWORD read = 0;
    DWORD needed = 0;
    while (ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                         buffer.data(), DWORD(buffer.size()), &read, &needed)) {
        for (DWORD at = 0; at < read;) {
            const EVENTLOGRECORD* record = reinterpret_cast<const EVENTLOGRECORD*>(&buffer[at]);
            EXPECT_EQ(expected++, record->RecordNumber);
            DWORD id = record->EventID;
            seen[(id / 1000) * kEach + id % 1000]++;
            at += record->Length;
        }
    }
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError());
    EXPECT_EQ(DWORD(2 * kEach + 1), expected);
    EXPECT_EQ(std::vector<int>(2 * kEach, 1), seen);
    CloseEventLog(reader);
    unlink((std::string(folder) + "/shared.evt").c_str());
    rmdir(folder);
}

// Threads of one process reporting while another reads: every read sees whole records.
TEST(EventLogProcessesTest, ReadersNeverSeeAHalfWrittenRecord) {
    char folder[] = "/tmp/pallwick-evtthreads-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    std::string file = std::string("Z:") + folder + "/threads.evt";
    HKEY log = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Services\\EventLog\\PallwickThreads", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &log, nullptr));
    DWORD maxSize = 0x2000;
    RegSetValueExA(log, "File", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   DWORD(file.size() + 1));
    RegSetValueExA(log, "MaxSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&maxSize), 4);
    RegCloseKey(log);
    auto report = [] {
        HANDLE source = OpenEventLogA(nullptr, "PallwickThreads");
        std::string text(100, 'z');
        LPCSTR strings[] = {text.c_str()};
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 7, nullptr, 1, 0,
                                     strings, nullptr));
        }
        CloseEventLog(source);
    };
    std::thread first(report);
    std::thread second(report);
    HANDLE reader = OpenEventLogA(nullptr, "PallwickThreads");
    std::vector<BYTE> buffer(0x4000);
    for (int i = 0; i < 300; ++i) {
        DWORD read = 0;
        DWORD needed = 0;
        if (!ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                           buffer.data(), DWORD(buffer.size()), &read, &needed)) {
            EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError());
        }
    }
    first.join();
    second.join();
    DWORD count = 0;
    DWORD oldest = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(reader, &count));
    EXPECT_TRUE(GetOldestEventLogRecord(reader, &oldest));
    EXPECT_EQ(401u, oldest + count);
    CloseEventLog(reader);
    unlink((std::string(folder) + "/threads.evt").c_str());
    rmdir(folder);
}

// Each I/O call of a report failing in turn: the report fails or is kept, and the log reads whole
// after either, numbered without a gap.
TEST(EventLogProcessesTest, FailedReportLeavesTheLogReadable) {
    char folder[] = "/tmp/pallwick-evtfault-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    std::string file = std::string("Z:") + folder + "/fault.evt";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Services\\EventLog\\PallwickFault", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD maxSize = 0x1000;
    RegSetValueExA(key, "File", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   DWORD(file.size() + 1));
    RegSetValueExA(key, "MaxSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&maxSize), 4);
    RegCloseKey(key);
    HANDLE log = OpenEventLogA(nullptr, "PallwickFault");
    std::string text(70, 'f');
    LPCSTR strings[] = {text.c_str()};
    DWORD kept = 0;
    for (int i = 0; i < 60; ++i) {
        kept += ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings,
                             nullptr) != FALSE;
    }
    bool reportFailed = true;
    for (unsigned long long k = 1; reportFailed && k < 100; ++k) {
        FaultPlanClear();
        FaultPlanFailNthPosixCall(k, EIO);
        reportFailed =
            !ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        FaultPlanClear();
        kept += !reportFailed;
        HANDLE reader = OpenEventLogA(nullptr, "PallwickFault");
        std::vector<BYTE> buffer(0x4000);
        DWORD read = 0;
        DWORD needed = 0;
        DWORD last = 0;
        while (ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                             buffer.data(), DWORD(buffer.size()), &read, &needed)) {
            for (DWORD at = 0; at < read;
                 at += reinterpret_cast<EVENTLOGRECORD*>(&buffer[at])->Length) {
                DWORD number = reinterpret_cast<EVENTLOGRECORD*>(&buffer[at])->RecordNumber;
                EXPECT_TRUE(last == 0 || number == last + 1) << "call " << k;
                last = number;
            }
        }
        EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError()) << "failing call " << k;
        EXPECT_EQ(kept, last) << "failing call " << k;
        CloseEventLog(reader);
    }
    EXPECT_FALSE(reportFailed) << "a report never got through";
    CloseEventLog(log);
    unlink((std::string(folder) + "/fault.evt").c_str());
    rmdir(folder);
}

// A log whose key names no file lives in the prefix's system32\config, under the log's name,
// created by its first event with the key's size and retention.
TEST(EventLogPrefixTest, LogWithoutAFileValueLivesInTheConfigFolder) {
    TestPrefix prefix;
    RegistryResetForTests();
    std::string config = prefix.DriveC() + "/windows/system32/config";
    std::filesystem::create_directories(config);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                              "System\\CurrentControlSet\\Services\\EventLog\\PallwickDefault", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD maxSize = 0x10000;
    DWORD retention = 7;
    RegSetValueExA(key, "MaxSize", 0, REG_DWORD, reinterpret_cast<BYTE*>(&maxSize), 4);
    RegSetValueExA(key, "Retention", 0, REG_DWORD, reinterpret_cast<BYTE*>(&retention), 4);
    RegCloseKey(key);
    HANDLE log = OpenEventLogA(nullptr, "PallwickDefault");
    ASSERT_NE(nullptr, log) << GetLastError();
    EXPECT_FALSE(std::filesystem::exists(config + "/PallwickDefault.evt"));
    ASSERT_TRUE(
        ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
    CloseEventLog(log);
    int descriptor = open((config + "/PallwickDefault.evt").c_str(), O_RDONLY);
    ASSERT_GE(descriptor, 0);
    EvtHeader header;
    EXPECT_EQ(ssize_t(sizeof header), pread(descriptor, &header, sizeof header, 0));
    EXPECT_EQ(maxSize, header.maxSize);
    EXPECT_EQ(retention, header.retention);
    close(descriptor);
    RegistryResetForTests();
}

// A fresh prefix's logs have no files yet: they open empty, as the service makes them.
TEST(EventLogWinebootTest, LogsOfAFreshPrefixOpenEmpty) {
    const std::string made = WinebootPrefix();
    if (made.empty()) {
        GTEST_SKIP() << "PALLWICK_WINEBOOT_PREFIX names no wineboot-made prefix";
    }
    setenv("WINEPREFIX", made.c_str(), 1);
    RegistryResetForTests();
    for (const char* name : {"Application", "System"}) {
        HANDLE log = OpenEventLogA(nullptr, name);
        ASSERT_NE(nullptr, log) << name;
        DWORD count = 9;
        EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
        EXPECT_EQ(0u, count);
        BYTE buffer[64];
        DWORD read = 0;
        DWORD needed = 0;
        EXPECT_FALSE(ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                                   buffer, sizeof buffer, &read, &needed));
        EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError());
        CloseEventLog(log);
    }
    unsetenv("WINEPREFIX");
    RegistryResetForTests();
}

} // namespace
