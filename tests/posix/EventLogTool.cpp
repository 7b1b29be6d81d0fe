// Writes event logs through the layer, and prints the records the layer reads from any .evt
// file, so that a script can hold both against an independent reader of the format.
//   eventlog_tool write <file> plain|wrapped|dirty
//   eventlog_tool dump <file>
//   eventlog_tool fields <File value>
// A dump line per record: number, generated, written, id, type, category, source, computer,
// SID, strings and data, separated by '|'; strings joined by '^', data in hex. fields reads the
// log whose key's File value is given (in the prefix WINEPREFIX names) and prints the same
// fields with every text and the SID as hex of their bytes, the strings as their count and a
// comma-separated list, so that any text survives; then a line "count|oldest" of
// GetNumberOfEventLogRecords and GetOldestEventLogRecord.
#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/advapi32/EventLogTestHooks.h"
#include "Platform/Win32.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kEventLogKey = "System\\CurrentControlSet\\Services\\EventLog\\";

// Registers a log called name whose file is unixPath (through Z:, the root), of maxSize bytes.
bool RegisterLog(const char* name, const char* unixPath, DWORD maxSize) {
    std::string key = std::string(kEventLogKey) + name;
    HKEY log = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &log, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::string file = std::string("Z:") + unixPath;
    HKEY source = nullptr;
    bool done =
        RegSetValueExA(log, "File", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                       DWORD(file.size() + 1)) == ERROR_SUCCESS &&
        RegSetValueExA(log, "MaxSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&maxSize),
                       sizeof maxSize) == ERROR_SUCCESS &&
        RegCreateKeyExA(log, "PallwickDiff", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &source,
                        nullptr) == ERROR_SUCCESS;
    if (source != nullptr) {
        RegCloseKey(source);
    }
    RegCloseKey(log);
    return done;
}

// Record i of a run: sizes vary so that the ring splits records at its end.
bool ReportOne(HANDLE source, unsigned i) {
    static const char* const kSids[] = {"S-1-5-18", "S-1-5-21-1004336348-1177238915-682003330-512",
                                        "S-1-5-32-544"};
    std::vector<std::string> texts;
    for (unsigned s = 0; s < i % 4; ++s) {
        texts.push_back("text " + std::to_string(i) + "." + std::to_string(s) +
                        std::string((i * 7 + s) % 23, 'x') + " caf\xe9");
    }
    std::vector<LPCSTR> strings;
    for (const std::string& text : texts) {
        strings.push_back(text.c_str());
    }
    std::vector<BYTE> data(i % 13);
    for (size_t b = 0; b < data.size(); ++b) {
        data[b] = BYTE(i * 31 + b);
    }
    PSID sid = nullptr;
    if (i % 3 == 0 && !ConvertStringSidToSidA(kSids[(i / 3) % 3], &sid)) {
        return false;
    }
    static const WORD kTypes[] = {EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE,
                                  EVENTLOG_ERROR_TYPE, EVENTLOG_AUDIT_SUCCESS,
                                  EVENTLOG_AUDIT_FAILURE};
    DWORD id = i % 5 == 2 ? 0xC0000005u : 0x40000000u + i * 37 % 1000;
    BOOL done = ReportEventA(source, kTypes[i % 5], WORD(i % 6), id, sid, WORD(strings.size()),
                             DWORD(data.size()), strings.empty() ? nullptr : strings.data(),
                             data.empty() ? nullptr : data.data());
    LocalFree(sid);
    return done != FALSE;
}

bool WriteRecords(const char* path, unsigned count, unsigned dirtyFrom) {
    unlink(path);
    HANDLE source = RegisterEventSourceA(nullptr, "PallwickDiff");
    for (unsigned i = 1; source != nullptr && i <= count; ++i) {
        EventLogLeaveDirtyForTests(i >= dirtyFrom);
        if (!ReportOne(source, i)) {
            fprintf(stderr, "ReportEventA %u failed: %u\n", i, GetLastError());
            EventLogLeaveDirtyForTests(false);
            DeregisterEventSource(source);
            return false;
        }
    }
    EventLogLeaveDirtyForTests(false);
    return source != nullptr && DeregisterEventSource(source);
}

// Whether one of the live records is split across the file's end.
bool Inspect(const char* path, bool* split) {
    int descriptor = open(path, O_RDONLY);
    EvtLayout layout;
    bool read = descriptor >= 0 && EvtLoadLayout(descriptor, &layout) == ERROR_SUCCESS;
    *split = false;
    DWORD offset = layout.start;
    std::string record;
    for (DWORD n = 0; read && n < EvtRecordCount(layout); ++n) {
        read = EvtReadRecord(descriptor, layout, offset, &record) == ERROR_SUCCESS;
        *split = *split || offset + record.size() > layout.ringEnd;
        offset = EvtRingAdvance(layout, offset, DWORD(record.size()));
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    return read;
}

// plain: a log that has not wrapped. wrapped: one that wrapped many times and holds a record
// split across the file's end. dirty: one whose last records were written without the header's
// update, so that only its end-of-file record knows them.
int Write(const char* path, const char* kind) {
    bool wrapped = strcmp(kind, "wrapped") == 0;
    bool dirty = strcmp(kind, "dirty") == 0;
    std::string name = std::string("PallwickDiff_") + kind;
    if (!RegisterLog(name.c_str(), path, wrapped ? 0x2000 : 0x80000)) {
        fprintf(stderr, "cannot register the log\n");
        return 1;
    }
    for (unsigned count = wrapped ? 300 : 40; count < 700; ++count) {
        bool split = false;
        if (!WriteRecords(path, count, dirty ? count - 5 : count + 1) || !Inspect(path, &split)) {
            return 1;
        }
        if (!wrapped || split) {
            return 0;
        }
    }
    fprintf(stderr, "no record count splits a record\n");
    return 1;
}

std::string Hex(const BYTE* bytes, DWORD length) {
    std::string out;
    char pair[3];
    for (DWORD i = 0; i < length; ++i) {
        snprintf(pair, sizeof pair, "%02x", bytes[i]);
        out += pair;
    }
    return out;
}

std::string SidText(const BYTE* sid, DWORD length) {
    if (length < 8) {
        return "";
    }
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i) {
        authority = (authority << 8) | sid[i];
    }
    std::string out = "S-" + std::to_string(sid[0]) + "-" + std::to_string(authority);
    for (DWORD i = 0; i < sid[1] && 8 + 4 * i + 4 <= length; ++i) {
        DWORD sub;
        memcpy(&sub, sid + 8 + 4 * i, 4);
        out += "-" + std::to_string(sub);
    }
    return out;
}

// Whole records, forwards from the oldest, each to print; false when reading ends otherwise
// than at the end of the log.
bool ReadAll(HANDLE log, void (*print)(const BYTE*)) {
    std::vector<BYTE> buffer;
    for (;;) {
        DWORD read = 0;
        DWORD needed = 0;
        BYTE probe = 0;
        if (ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, &probe, 0,
                          &read, &needed) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
        buffer.resize(needed);
        if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                           needed, &read, &needed)) {
            break;
        }
        print(buffer.data());
    }
    DWORD error = GetLastError();
    if (error != ERROR_HANDLE_EOF) {
        fprintf(stderr, "reading ended with error %u\n", error);
        return false;
    }
    return true;
}

void Print(const BYTE* record) {
    EVENTLOGRECORD fixed;
    memcpy(&fixed, record, sizeof fixed);
    const char* source = reinterpret_cast<const char*>(record + sizeof fixed);
    const char* computer = source + strlen(source) + 1;
    std::string strings;
    const char* text = reinterpret_cast<const char*>(record + fixed.StringOffset);
    for (WORD s = 0; s < fixed.NumStrings; ++s) {
        strings += (s == 0 ? "" : "^") + std::string(text);
        text += strlen(text) + 1;
    }
    printf("%u|%u|%u|%u|%u|%u|%s|%s|%s|%s|%s\n", fixed.RecordNumber, fixed.TimeGenerated,
           fixed.TimeWritten, fixed.EventID, fixed.EventType, fixed.EventCategory, source, computer,
           SidText(record + fixed.UserSidOffset, fixed.UserSidLength).c_str(), strings.c_str(),
           Hex(record + fixed.DataOffset, fixed.DataLength).c_str());
}

int Dump(const char* path) {
    if (!RegisterLog("PallwickDump", path, 0x80000)) {
        return 1;
    }
    HANDLE log = OpenEventLogA(nullptr, "PallwickDump");
    bool read = ReadAll(log, Print);
    CloseEventLog(log);
    return read ? 0 : 2;
}

std::string TextHex(const char* text) {
    return Hex(reinterpret_cast<const BYTE*>(text), DWORD(strlen(text)));
}

void PrintFields(const BYTE* record) {
    EVENTLOGRECORD fixed;
    memcpy(&fixed, record, sizeof fixed);
    const char* source = reinterpret_cast<const char*>(record + sizeof fixed);
    const char* computer = source + strlen(source) + 1;
    std::string strings = std::to_string(fixed.NumStrings) + ":";
    const char* text = reinterpret_cast<const char*>(record + fixed.StringOffset);
    for (WORD s = 0; s < fixed.NumStrings; ++s) {
        strings += (s == 0 ? "" : ",") + TextHex(text);
        text += strlen(text) + 1;
    }
    printf("%u|%u|%u|%u|%u|%u|%s|%s|%s|%s|%s\n", fixed.RecordNumber, fixed.TimeGenerated,
           fixed.TimeWritten, fixed.EventID, fixed.EventType, fixed.EventCategory,
           TextHex(source).c_str(), TextHex(computer).c_str(),
           Hex(record + fixed.UserSidOffset, fixed.UserSidLength).c_str(), strings.c_str(),
           Hex(record + fixed.DataOffset, fixed.DataLength).c_str());
}

int Fields(const char* file) {
    std::string key = std::string(kEventLogKey) + "PallwickFields";
    HKEY made = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &made, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    LONG set = RegSetValueExA(made, "File", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(file),
                              DWORD(strlen(file) + 1));
    RegCloseKey(made);
    HANDLE log = set == ERROR_SUCCESS ? OpenEventLogA(nullptr, "PallwickFields") : nullptr;
    if (log == nullptr) {
        return 1;
    }
    bool read = ReadAll(log, PrintFields);
    DWORD count = 0;
    DWORD oldest = 0;
    bool counted = GetNumberOfEventLogRecords(log, &count) && GetOldestEventLogRecord(log, &oldest);
    CloseEventLog(log);
    if (counted) {
        printf("%u|%u\n", count, oldest);
    }
    return read && counted ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
        return Write(argv[2], argv[3]);
    }
    if (argc == 3 && strcmp(argv[1], "dump") == 0) {
        return Dump(argv[2]);
    }
    if (argc == 3 && strcmp(argv[1], "fields") == 0) {
        return Fields(argv[2]);
    }
    fprintf(stderr, "usage: eventlog_tool write <file> plain|wrapped|dirty | dump <file> | "
                    "fields <File value>\n");
    return 2;
}
