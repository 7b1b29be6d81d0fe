#include "InventoryAgents/EventLogAgent/EventMessages.h"

#include "Common/ScopedResource.h"
#include "InventoryAgents/EventLogAgent/EventRecordReader.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr char kEventLogKeyPath[] = "System\\CurrentControlSet\\Services\\EventLog";
constexpr size_t kSourceKeyPathSize = 1024;
constexpr DWORD kExpandedPathSize = 2048;
constexpr size_t kSubstitutionWorkSize = 32768;
// The inserts stay as they are; a number the module lacks is looked up in the system's table.
constexpr DWORD kMessageFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                FORMAT_MESSAGE_ARGUMENT_ARRAY;

// Text appended up to a fixed capacity: what does not fit is cut, and the text stays terminated.
struct BoundedText {
    char* text;
    size_t capacity;
    size_t length = 0;

    BoundedText(char* buffer, size_t size) : text(buffer), capacity(size) { text[0] = '\0'; }

    void Append(const char* part, size_t partLength) {
        size_t room = capacity - 1 - length;
        size_t taken = partLength < room ? partLength : room;
        memcpy(text + length, part, taken);
        length += taken;
        text[length] = '\0';
    }
    void Append(const char* part) { Append(part, strlen(part)); }
};

void CopyBounded(char* target, size_t capacity, const char* text, size_t length) {
    BoundedText bounded(target, capacity);
    bounded.Append(text, length);
}

// The value's data as text, terminated inside a buffer one byte longer than the data, so that a
// value stored without its NUL loses nothing. Null, with *failed set, when it cannot be read; null
// alone when the value is absent or empty.
char* ReadMessageFileValue(HKEY key, const char* valueName, bool* failed) {
    *failed = false;
    DWORD size = 0;
    RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
    if (size == 0) {
        return nullptr;
    }
    ScopedMalloc data(LibraryMalloc(static_cast<size_t>(size) + 1));
    DWORD read = size;
    if (!data.held() || RegQueryValueExA(key, valueName, nullptr, nullptr,
                                         static_cast<BYTE*>(data.get()), &read) != ERROR_SUCCESS) {
        *failed = true;
        return nullptr;
    }
    static_cast<char*>(data.get())[read < size ? read : size] = '\0';
    return static_cast<char*>(data.release());
}

// The next ";"-separated path of the list, skipping empty ones; null when none is left.
char* NextPath(char** cursor) {
    char* path = *cursor + strspn(*cursor, ";");
    if (*path == '\0') {
        return nullptr;
    }
    char* end = path + strcspn(path, ";");
    *cursor = *end != '\0' ? end + 1 : end;
    *end = '\0';
    return path;
}

// The message from one file: true when the file held it (or the system's table did).
bool FormatFromFile(const char* path, DWORD messageId, char* text, size_t capacity) {
    char expanded[kExpandedPathSize];
    DWORD length = ExpandEnvironmentStringsA(path, expanded, kExpandedPathSize);
    // A path cut short would name another file.
    if (length == 0 || length > kExpandedPathSize) {
        return false;
    }
    ScopedModule module(LoadLibraryExA(expanded, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.held()) {
        return false;
    }
    char* formatted = nullptr;
    DWORD formattedLength = FormatMessageA(kMessageFlags, module.get(), messageId, 0,
                                           reinterpret_cast<LPSTR>(&formatted), 0, nullptr);
    ScopedLocalMemory formattedHolder(formatted);
    if (formattedLength == 0 || formatted == nullptr) {
        return false;
    }
    // A message table's text ends in a line end, which the record's text goes without.
    CopyBounded(text, capacity, formatted, formattedLength < 2 ? 0 : formattedLength - 2);
    return true;
}

// The digits of a positive number: how far an insert's number reaches past its percent signs.
size_t DecimalDigits(long long number) {
    size_t digits = 1;
    for (; number >= 10; number /= 10) {
        ++digits;
    }
    return digits;
}

// The insert number after a marker: a 64-bit conversion's reading, 0 when no digits follow.
long long InsertNumber(const char* text) {
    return strtoll(text, nullptr, 10);
}

// One substitution pass: every marker followed by a positive number is replaced by what
// insertText gives for it, and the text it brings is not scanned again.
template <typename InsertText>
void SubstitutePass(char* message, size_t capacity, const char* marker, InsertText insertText) {
    ScopedMalloc work(LibraryMalloc(kSubstitutionWorkSize));
    if (!work.held()) {
        // A text whose inserts cannot be put in is not the event's message: it is given up, as
        // a message that cannot be found, rather than handed out with its markers.
        message[0] = '\0';
        return;
    }
    size_t markerLength = strlen(marker);
    size_t messageLength = strlen(message);
    BoundedText result(static_cast<char*>(work.get()), kSubstitutionWorkSize);
    const char* current = message;
    const char* search = message;
    for (const char* found; (found = strstr(search, marker)) != nullptr;) {
        long long number = InsertNumber(found + markerLength);
        if (number <= 0) {
            search = found + 1;
            continue;
        }
        result.Append(current, static_cast<size_t>(found - current));
        insertText(number, &result);
        size_t skipped = markerLength + DecimalDigits(number);
        size_t remaining = messageLength - static_cast<size_t>(found - message);
        current = found + (skipped < remaining ? skipped : remaining);
        search = current;
    }
    result.Append(current);
    CopyBounded(message, capacity, result.text, result.length);
}

} // namespace

int LookupEventMessage(const char* sourceName, DWORD messageId, char* text, size_t capacity,
                       const char* logName, const char* valueName) {
    if (sourceName == nullptr || logName == nullptr || capacity == 0) {
        return -1;
    }
    char keyPath[kSourceKeyPathSize];
    int keyLength =
        snprintf(keyPath, sizeof keyPath, "%s\\%s\\%s", kEventLogKeyPath, logName, sourceName);
    // A path cut short would name another source's key.
    if (keyLength < 0 || static_cast<size_t>(keyLength) >= sizeof keyPath) {
        return -1;
    }
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, key.receive()) !=
        ERROR_SUCCESS) {
        return -1;
    }
    bool failed = false;
    ScopedMalloc paths(ReadMessageFileValue(key.get(), valueName, &failed));
    key.reset();
    if (failed) {
        return -1;
    }
    char* cursor = static_cast<char*>(paths.get());
    for (char* path; cursor != nullptr && (path = NextPath(&cursor)) != nullptr;) {
        if (FormatFromFile(path, messageId, text, capacity)) {
            break;
        }
    }
    return 0;
}

void ExpandEventMessageInserts(const EVENTLOGRECORD* record, DWORD recordSize, char* message,
                               size_t capacity, const char* logName) {
    SubstitutePass(message, capacity, "%", [&](long long number, BoundedText* result) {
        const char* insert = EventRecordInsertionString(record, recordSize, number);
        if (insert != nullptr) {
            result->Append(insert);
        }
    });
    const char* sourceName = EventRecordSourceName(record, recordSize);
    SubstitutePass(message, capacity, "%%", [&](long long number, BoundedText* result) {
        char parameter[kParameterMessageSize];
        parameter[0] = '\0';
        LookupEventMessage(sourceName, static_cast<DWORD>(number), parameter, sizeof parameter,
                           logName, kEventMessageFileValue);
        result->Append(parameter);
    });
}

int32_t HashMessageText(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    // Two's complement with wrap-around throughout, hence the unsigned arithmetic.
    uint32_t length = static_cast<uint32_t>(strlen(text));
    uint32_t hash = 0;
    for (uint32_t i = 0; i < length; ++i) {
        int32_t signedByte = static_cast<signed char>(text[i]);
        hash += static_cast<uint32_t>(signedByte * 31) ^ (length - 1 - i);
    }
    return static_cast<int32_t>(hash);
}
