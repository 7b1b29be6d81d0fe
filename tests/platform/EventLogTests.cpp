// The classic event logs and account names through the Win32 API alone. Each event log case
// registers a log of its own whose file lies in its scratch folder, so that it runs the same over
// the layer and on Windows; Wine's event log keeps nothing (see the known differences).
#include "PlatformTestSupport.h"

#include <string.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

const char kLogName[] = "PallwickTestLog";
const char kSourceName[] = "PallwickTestSource";
const char kLogsKey[] = "System\\CurrentControlSet\\Services\\EventLog\\";
const DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
const DWORD kBackwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ;

struct Record {
    EVENTLOGRECORD fixed;
    std::string source;
    std::string computer;
    std::vector<std::string> strings;
    std::vector<BYTE> sid;
    std::vector<BYTE> data;
};

Record Parse(const BYTE* bytes) {
    Record record;
    memcpy(&record.fixed, bytes, sizeof record.fixed);
    const char* names = reinterpret_cast<const char*>(bytes + sizeof(EVENTLOGRECORD));
    record.source = names;
    record.computer = names + record.source.size() + 1;
    const char* text = reinterpret_cast<const char*>(bytes + record.fixed.StringOffset);
    for (WORD i = 0; i < record.fixed.NumStrings; ++i) {
        record.strings.push_back(text);
        text += strlen(text) + 1;
    }
    const BYTE* sid = bytes + record.fixed.UserSidOffset;
    record.sid.assign(sid, sid + record.fixed.UserSidLength);
    const BYTE* data = bytes + record.fixed.DataOffset;
    record.data.assign(data, data + record.fixed.DataLength);
    return record;
}

class EventLogApiTest : public ScratchFolderTest {
  protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        char full[MAX_PATH];
        ASSERT_NE(0u, GetFullPathNameA(PathOf("test.evt").c_str(), MAX_PATH, full, nullptr));
        file_ = full;
        RegisterLog(kLogName, file_.c_str(), 0x80000);
    }
    void TearDown() override {
        std::string key = std::string(kLogsKey) + kLogName;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\" + kSourceName).c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        if (registeredApplication_) {
            ForgetApplicationLog();
        }
        ScratchFolderTest::TearDown();
    }

    // Points the machine's own Application log at the test's file. Under Wine the registry is the
    // shared prefix's, which later tests read: TearDown takes the source and the values away again,
    // whether the case passed or not (the prefix's Application key holds no values of its own).
    void RegisterApplicationLog() {
        registeredApplication_ = true;
        RegisterLog("Application", file_.c_str(), 0x80000);
    }
    void ForgetApplicationLog() {
        std::string key = std::string(kLogsKey) + "Application";
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\" + kSourceName).c_str());
        HKEY log = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &log) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(log, "File");
            RegDeleteValueA(log, "MaxSize");
            RegCloseKey(log);
        }
    }
    bool registeredApplication_ = false;

    void RegisterLog(const char* name, const char* file, DWORD maxSize) {
        std::string key = std::string(kLogsKey) + name + "\\" + kSourceName;
        HKEY source = nullptr;
        HKEY log = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &source, nullptr));
        RegCloseKey(source);
        key = std::string(kLogsKey) + name;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &log));
        RegSetValueExA(log, "File", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file),
                       DWORD(strlen(file) + 1));
        RegSetValueExA(log, "MaxSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&maxSize),
                       sizeof maxSize);
        RegCloseKey(log);
    }

    // Reports events numbered first..last: id, category and strings follow the number.
    void Report(unsigned first, unsigned last, PSID sid = nullptr) {
        HANDLE source = RegisterEventSourceA(nullptr, kSourceName);
        ASSERT_NE(nullptr, source) << GetLastError();
        for (unsigned i = first; i <= last; ++i) {
            std::string one = "event " + std::to_string(i);
            LPCSTR strings[] = {one.c_str(), "second"};
            BYTE data[] = {BYTE(i), 0xAB, 0xCD};
            ASSERT_TRUE(ReportEventA(source, EVENTLOG_WARNING_TYPE, WORD(i % 7), 0x80000000u + i,
                                     sid, 2, sizeof data, strings, data))
                << GetLastError();
        }
        EXPECT_TRUE(DeregisterEventSource(source));
    }

    // The next record as the agent reads it: a size probe, then a buffer of just that size.
    bool ReadNext(HANDLE log, DWORD flags, Record* record) {
        DWORD read = 0;
        DWORD needed = 0;
        BYTE probe = 0;
        if (ReadEventLogA(log, flags, 0, &probe, 0, &read, &needed) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        std::vector<BYTE> buffer(needed);
        if (!ReadEventLogA(log, flags, 0, buffer.data(), needed, &read, &needed)) {
            return false;
        }
        EXPECT_EQ(read, buffer.size());
        *record = Parse(buffer.data());
        return true;
    }

    std::vector<DWORD> ReadNumbers(HANDLE log, DWORD flags) {
        std::vector<DWORD> numbers;
        Record record;
        while (ReadNext(log, flags, &record)) {
            numbers.push_back(record.fixed.RecordNumber);
        }
        EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError());
        return numbers;
    }

    std::string file_;
};

TEST_F(EventLogApiTest, ReportedEventsReadBackWithEveryField) {
    PSID system = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-18", &system));
    DWORD before = DWORD(time(nullptr));
    Report(1, 2, system);
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    ASSERT_NE(nullptr, log) << GetLastError();
    Record record;
    ASSERT_TRUE(ReadNext(log, kForwards, &record)) << GetLastError();
    EXPECT_EQ(1u, record.fixed.RecordNumber);
    EXPECT_EQ(0x80000001u, record.fixed.EventID);
    EXPECT_EQ(EVENTLOG_WARNING_TYPE, record.fixed.EventType);
    EXPECT_EQ(1, record.fixed.EventCategory);
    EXPECT_GE(record.fixed.TimeWritten, before);
    EXPECT_LE(record.fixed.TimeWritten, DWORD(time(nullptr)));
    EXPECT_EQ(kSourceName, record.source);
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    EXPECT_EQ(computer, record.computer);
    EXPECT_EQ((std::vector<std::string>{"event 1", "second"}), record.strings);
    EXPECT_EQ(GetLengthSid(system), record.sid.size());
    EXPECT_EQ(0, memcmp(system, record.sid.data(), record.sid.size()));
    EXPECT_EQ((std::vector<BYTE>{1, 0xAB, 0xCD}), record.data);
    ASSERT_TRUE(ReadNext(log, kForwards, &record));
    EXPECT_EQ(2u, record.fixed.RecordNumber);
    EXPECT_FALSE(ReadNext(log, kForwards, &record));
    EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), GetLastError());
    EXPECT_TRUE(CloseEventLog(log));
    LocalFree(system);
}

TEST_F(EventLogApiTest, ReadsInBothDirectionsAndFromASoughtRecord) {
    Report(1, 5);
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    ASSERT_NE(nullptr, log);
    EXPECT_EQ((std::vector<DWORD>{5, 4, 3, 2, 1}), ReadNumbers(log, kBackwards));
    CloseEventLog(log);

    log = OpenEventLogA(nullptr, kLogName);
    std::vector<BYTE> buffer(0x10000);
    DWORD read = 0;
    DWORD needed = 0;
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 3, buffer.data(),
                              DWORD(buffer.size()), &read, &needed));
    // As many whole records as fit: 3, 4 and 5.
    DWORD first = Parse(buffer.data()).fixed.Length;
    EXPECT_EQ(3u, Parse(buffer.data()).fixed.RecordNumber);
    EXPECT_EQ(5u,
              Parse(buffer.data() + read - Parse(buffer.data()).fixed.Length).fixed.RecordNumber);
    // A sequential read goes on after what the seek returned.
    EXPECT_TRUE(ReadNumbers(log, kForwards).empty());
    EXPECT_FALSE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 9, buffer.data(),
                               DWORD(buffer.size()), &read, &needed));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    // A buffer that holds one record and part of the next gets the one.
    ASSERT_TRUE(ReadEventLogA(log, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 3, buffer.data(),
                              first + 8, &read, &needed));
    EXPECT_EQ(first, read);
    CloseEventLog(log);
}

TEST_F(EventLogApiTest, ShortBufferNamesTheNextRecordsSize) {
    Report(1, 1);
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    BYTE small[16];
    DWORD read = 7;
    DWORD needed = 0;
    EXPECT_FALSE(ReadEventLogA(log, kForwards, 0, small, sizeof small, &read, &needed));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0u, read);
    EXPECT_GT(needed, sizeof(EVENTLOGRECORD));
    EXPECT_FALSE(
        ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ, 0, small, sizeof small, &read, &needed));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError()) << "no direction";
    read = needed = 7;
    EXPECT_FALSE(ReadEventLogA(log, kForwards, 0, nullptr, 0, &read, &needed));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError()) << "no buffer, even of no bytes";
    EXPECT_EQ(7u, read);
    EXPECT_EQ(7u, needed);
    CloseEventLog(log);
}

TEST_F(EventLogApiTest, CountsClearsAndBacksUp) {
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    DWORD count = 9;
    EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count)) << "a log not written yet is empty";
    EXPECT_EQ(0u, count);
    Report(1, 3);
    DWORD oldest = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_TRUE(GetOldestEventLogRecord(log, &oldest));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(1u, oldest);
    std::string backup = PathOf("backup.evt");
    EXPECT_TRUE(ClearEventLogA(log, backup.c_str())) << GetLastError();
    EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_EQ(0u, count);
    EXPECT_FALSE(ClearEventLogA(log, backup.c_str()));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    CloseEventLog(log);

    char full[MAX_PATH];
    GetFullPathNameA(backup.c_str(), MAX_PATH, full, nullptr);
    RegisterLog(kLogName, full, 0x80000);
    log = OpenEventLogA(nullptr, kLogName);
    EXPECT_EQ((std::vector<DWORD>{1, 2, 3}), ReadNumbers(log, kForwards));
    CloseEventLog(log);
}

TEST_F(EventLogApiTest, FullLogWrapsKeepingTheNewest) {
    RegisterLog(kLogName, file_.c_str(), 0x1000);
    Report(1, 120);
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    DWORD count = 0;
    DWORD oldest = 0;
    ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
    ASSERT_TRUE(GetOldestEventLogRecord(log, &oldest));
    EXPECT_GT(oldest, 1u);
    EXPECT_EQ(121u, oldest + count);
    std::vector<DWORD> numbers = ReadNumbers(log, kForwards);
    ASSERT_EQ(count, numbers.size());
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(oldest + i, numbers[i]);
    }
    CloseEventLog(log);
}

TEST_F(EventLogApiTest, UnknownLogNameOpensApplication) {
    RegisterApplicationLog();
    Report(1, 1);
    // A key of the service's own beside the logs (as Windows 10 keeps Parameters) is no log.
    const std::string serviceOwn = std::string(kLogsKey) + "PallwickServiceOwn";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, serviceOwn.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const char dll[] = "%SystemRoot%\\System32\\wevtsvc.dll";
    RegSetValueExA(key, "ServiceDll", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(dll),
                   sizeof dll);
    RegCloseKey(key);
    for (const char* name : {"PallwickNoSuchLog", "PallwickServiceOwn"}) {
        HANDLE log = OpenEventLogA(nullptr, name);
        ASSERT_NE(nullptr, log) << name;
        EXPECT_EQ((std::vector<DWORD>{1}), ReadNumbers(log, kForwards)) << name;
        CloseEventLog(log);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, serviceOwn.c_str());
    EXPECT_EQ(nullptr, OpenEventLogA(nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, OpenEventLogA("PallwickNoSuchHost", kLogName));
    EXPECT_EQ(DWORD(RPC_S_SERVER_UNAVAILABLE), GetLastError());
}

TEST_F(EventLogApiTest, ClosedOrNullHandleIsInvalid) {
    HANDLE log = OpenEventLogA(nullptr, kLogName);
    ASSERT_TRUE(CloseEventLog(log));
    EXPECT_FALSE(CloseEventLog(log));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(CloseEventLog(nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    DWORD count = 0;
    EXPECT_FALSE(GetNumberOfEventLogRecords(log, &count));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(GetNumberOfEventLogRecords(nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError()) << "the pointer is checked first";
}

struct Account {
    const char* sid;
    const char* name;
    const char* domain;
    SID_NAME_USE use;
};

TEST(AccountSidTest, WellKnownSidsHaveWindowsNames) {
    const Account accounts[] = {
        {"S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup},
        {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
        {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
        {"S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias},
        {"S-1-5-32-545", "Users", "BUILTIN", SidTypeAlias},
        {"S-1-1-0", "Everyone", "", SidTypeWellKnownGroup},
    };
    for (const Account& account : accounts) {
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(account.sid, &sid)) << account.sid;
        char name[64];
        char domain[64];
        DWORD nameSize = sizeof name;
        DWORD domainSize = sizeof domain;
        SID_NAME_USE use = SidTypeUnknown;
        ASSERT_TRUE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
            << account.sid << " " << GetLastError();
        EXPECT_STREQ(account.name, name);
        EXPECT_STREQ(account.domain, domain);
        EXPECT_EQ(account.use, use) << account.sid;
        LocalFree(sid);
    }
}

TEST(AccountSidTest, SuccessGivesTheLengthsWithoutTerminators) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-32-544", &sid));
    char name[64];
    char domain[64];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use));
    EXPECT_EQ(strlen("Administrators"), nameSize);
    EXPECT_EQ(strlen("BUILTIN"), domainSize);
    LocalFree(sid);
}

TEST(AccountSidTest, ShortBuffersGetTheSizesAndUnknownSidsNoName) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-19", &sid));
    char name[4];
    char domain[64];
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(sizeof "LOCAL SERVICE", nameSize);
    EXPECT_EQ(sizeof "NT AUTHORITY", domainSize);
    LocalFree(sid);

    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1111111111-2222222222-3333333333-4321", &sid));
    nameSize = sizeof name;
    domainSize = sizeof domain;
    EXPECT_FALSE(LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use));
    EXPECT_EQ(DWORD(ERROR_NONE_MAPPED), GetLastError());
    LocalFree(sid);
    EXPECT_FALSE(ConvertStringSidToSidA("S-1-x", &sid));
    EXPECT_EQ(DWORD(ERROR_INVALID_SID), GetLastError());
}

} // namespace
