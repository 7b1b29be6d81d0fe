// A whole .evtx file as a log's file, read through the classic API: its count and oldest record,
// every record forwards and backwards, a seek to the middle one, and a report refused. Whatever
// libevtx makes of the file, the classic log shown must hold together: numbers one after another
// from the oldest, as many as counted, each record whole within what the read returned.
#include "Platform/Win32.h"

#include "fuzz/FuzzSupport.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr char kLogKey[] = "System\\CurrentControlSet\\Services\\EventLog\\FuzzEvtx";
constexpr char kLogFile[] = "C:\\fuzz.evtx";

void RegisterLog() {
    HKEY key = nullptr;
    FuzzCheck(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLogKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr) == ERROR_SUCCESS,
              "the log's key is made");
    HKEY source = nullptr;
    FuzzCheck(RegSetValueExA(key, "File", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kLogFile),
                             sizeof kLogFile) == ERROR_SUCCESS &&
                  RegCreateKeyExA(key, "FuzzEvtxSource", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &source, nullptr) == ERROR_SUCCESS,
              "the log's file and source are registered");
    RegCloseKey(source);
    RegCloseKey(key);
}

// One read: the numbers of the records it returned, checked whole; false when it failed.
bool ReadRecords(HANDLE log, DWORD flags, DWORD seekTo, std::vector<DWORD>* numbers) {
    std::vector<BYTE> buffer(0x4000);
    DWORD read = 0;
    DWORD needed = 0;
    if (!ReadEventLogA(log, flags, seekTo, buffer.data(), DWORD(buffer.size()), &read, &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        FuzzCheck(needed > buffer.size(), "a record that does not fit names a larger size");
        buffer.resize(needed);
        if (!ReadEventLogA(log, flags, seekTo, buffer.data(), needed, &read, &needed)) {
            return false;
        }
    }
    FuzzCheck(read > 0 && read <= buffer.size(), "a read returns bytes within the buffer");
    for (DWORD at = 0; at < read;) {
        EVENTLOGRECORD fixed;
        FuzzCheck(read - at >= sizeof fixed, "a record's fixed part is returned whole");
        memcpy(&fixed, buffer.data() + at, sizeof fixed);
        FuzzCheck(fixed.Length >= sizeof fixed && fixed.Length <= read - at &&
                      fixed.Length % 4 == 0,
                  "a record's length lies within the read");
        FuzzCheck(fixed.StringOffset <= fixed.Length &&
                      fixed.UserSidOffset + fixed.UserSidLength <= fixed.Length &&
                      fixed.DataOffset + fixed.DataLength <= fixed.Length,
                  "a record's parts lie within it");
        numbers->push_back(fixed.RecordNumber);
        at += fixed.Length;
    }
    return true;
}

std::vector<DWORD> ReadAll(HANDLE log, DWORD direction) {
    std::vector<DWORD> numbers;
    while (ReadRecords(log, EVENTLOG_SEQUENTIAL_READ | direction, 0, &numbers)) {
    }
    DWORD error = GetLastError();
    FuzzCheck(error == ERROR_HANDLE_EOF || error == ERROR_EVENTLOG_FILE_CORRUPT,
              "reading ends at the log's end or at a file libevtx cannot open");
    return numbers;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzPrefix("");
    RegisterLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzCheck(WriteFuzzFile(FuzzPrefix("") + "/drive_c/fuzz.evtx", data, size),
              "the input is written as the log's file");
    // A handle per input: nothing of one file's image outlives it.
    HANDLE log = OpenEventLogA(nullptr, "FuzzEvtx");
    FuzzCheck(log != nullptr, "the log opens");
    DWORD count = 0;
    DWORD oldest = 0;
    bool counted = GetNumberOfEventLogRecords(log, &count) && GetOldestEventLogRecord(log, &oldest);
    std::vector<DWORD> forwards = ReadAll(log, EVENTLOG_FORWARDS_READ);
    if (counted) {
        FuzzCheck(forwards.size() == count, "every counted record is read");
        for (size_t i = 0; i < forwards.size(); ++i) {
            FuzzCheck(forwards[i] == oldest + i, "records are numbered on from the oldest");
        }
        // From a handle of its own: this one's position is past the newest record now.
        HANDLE again = OpenEventLogA(nullptr, "FuzzEvtx");
        FuzzCheck(again != nullptr, "the log opens again");
        std::vector<DWORD> backwards = ReadAll(again, EVENTLOG_BACKWARDS_READ);
        CloseEventLog(again);
        FuzzCheck(backwards.size() == count, "backwards reads every record too");
        if (count != 0) {
            std::vector<DWORD> sought;
            DWORD middle = oldest + count / 2;
            FuzzCheck(
                ReadRecords(log, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, middle, &sought) &&
                    sought.front() == middle,
                "a seek finds the record of that number");
        }
    } else {
        FuzzCheck(forwards.empty(), "a log that cannot be counted reads nothing");
    }
    FuzzCheck(!ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_ACCESS_DENIED,
              "an .evtx log refuses reports");
    CloseEventLog(log);
    return 0;
}
