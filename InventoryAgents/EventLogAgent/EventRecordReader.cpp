#include "InventoryAgents/EventLogAgent/EventRecordReader.h"

#include "Common/ScopedResource.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr DWORD kReadNextForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

// The NUL-terminated text at offset, or null when it runs past the record.
const char* TextAt(const EVENTLOGRECORD* record, DWORD recordSize, DWORD offset) {
    if (offset >= recordSize) {
        return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(record) + offset;
    return memchr(text, '\0', recordSize - offset) != nullptr ? text : nullptr;
}

} // namespace

EVENTLOGRECORD* ReadNextEventRecord(HANDLE log, DWORD* recordSize) {
    *recordSize = 0;
    BYTE probe[1];
    DWORD bytesRead = 0, needed = 0;
    if (ReadEventLogA(log, kReadNextForwards, 0, probe, 0, &bytesRead, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
        return nullptr;
    }
    DWORD allocated = needed;
    ScopedMalloc buffer(LibraryMalloc(allocated));
    if (!buffer.held() ||
        !ReadEventLogA(log, kReadNextForwards, 0, buffer.get(), allocated, &bytesRead, &needed)) {
        return nullptr;
    }
    auto* record = static_cast<EVENTLOGRECORD*>(buffer.get());
    // A record is never shorter than its fixed part, nor longer than what the read delivered.
    if (bytesRead < sizeof(EVENTLOGRECORD) || bytesRead > allocated) {
        return nullptr;
    }
    DWORD size = record->Length < bytesRead ? record->Length : bytesRead;
    if (size < sizeof(EVENTLOGRECORD)) {
        return nullptr;
    }
    *recordSize = size;
    return static_cast<EVENTLOGRECORD*>(buffer.release());
}

bool EventRecordHolds(DWORD recordSize, DWORD offset, DWORD length) {
    return offset <= recordSize && length <= recordSize - offset;
}

const char* EventRecordSourceName(const EVENTLOGRECORD* record, DWORD recordSize) {
    return TextAt(record, recordSize, sizeof(EVENTLOGRECORD));
}

const char* EventRecordInsertionString(const EVENTLOGRECORD* record, DWORD recordSize,
                                       int64_t number) {
    if (number < 1 || number > record->NumStrings) {
        return nullptr;
    }
    DWORD offset = record->StringOffset;
    for (int64_t skipped = 1;; ++skipped) {
        const char* text = TextAt(record, recordSize, offset);
        if (text == nullptr || skipped == number) {
            return text;
        }
        offset += static_cast<DWORD>(strlen(text)) + 1;
    }
}
