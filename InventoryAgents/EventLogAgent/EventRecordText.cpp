#include "InventoryAgents/EventLogAgent/EventRecordText.h"

#include "Common/HexText.h"
#include "Common/ScopedResource.h"
#include "InventoryAgents/EventLogAgent/EventMessages.h"
#include "InventoryAgents/EventLogAgent/EventRecordReader.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kNumberTextSize = 32;
constexpr DWORD kAccountNameSize = 1024;
constexpr DWORD kSidBufferSize = 1024;
constexpr size_t kUserTextSize = 2048;
constexpr char kNoCategory[] = "None";
constexpr char kNoUser[] = "N/A";
constexpr int kRecordKeyFields = 7;

constexpr uint16_t kElementBits[kEventRecordElements] = {0,      0x0002, 0x0004, 0x0008, 0x0010,
                                                         0x0020, 0x0040, 0x0080, 0x0100};

char* NewNumberText(long long number) {
    char* text = static_cast<char*>(LibraryMalloc(kNumberTextSize));
    if (text != nullptr) {
        snprintf(text, kNumberTextSize, "%lld", number);
    }
    return text;
}

char* NewMessageBuffer() {
    char* text = static_cast<char*>(LibraryMalloc(kEventMessageSize));
    if (text != nullptr) {
        text[0] = '\0';
    }
    return text;
}

const char* SourceName(const EventRecordView& view) {
    return EventRecordSourceName(view.record, view.size);
}

// Category 0 is a record without a category. It is not looked up: the system's message table,
// which the lookup falls back on, would give message 0, "The operation completed successfully.",
// as the category of most records a machine holds.
char* NewCategoryText(const EventRecordView& view) {
    char* text = NewMessageBuffer();
    if (text != nullptr && view.record->EventCategory != 0) {
        LookupEventMessage(SourceName(view), view.record->EventCategory, text, kEventMessageSize,
                           view.logName, kCategoryMessageFileValue);
    }
    if (text != nullptr && text[0] == '\0') {
        strcpy(text, kNoCategory);
    }
    return text;
}

char* NewMessageText(const EventRecordView& view) {
    char* text = NewMessageBuffer();
    if (text != nullptr) {
        LookupEventMessage(SourceName(view), view.record->EventID, text, kEventMessageSize,
                           view.logName, kEventMessageFileValue);
        ExpandEventMessageInserts(view.record, view.size, text, kEventMessageSize, view.logName);
    }
    return text;
}

// Data that would run past the record reads as none.
char* NewDataText(const EventRecordView& view) {
    const EVENTLOGRECORD* record = view.record;
    if (!EventRecordHolds(view.size, record->DataOffset, record->DataLength)) {
        return LibraryStrdup("");
    }
    return NewHexText(reinterpret_cast<const unsigned char*>(record) + record->DataOffset,
                      record->DataLength);
}

// The account of the record's SID as "DOMAIN\name"; "N/A" when there is no SID, when it does
// not fit its buffer or lies outside the record, and when it cannot be looked up.
char* NewUserText(const EventRecordView& view) {
    const EVENTLOGRECORD* record = view.record;
    DWORD sidLength = record->UserSidLength;
    if (record->UserSidOffset == 0 || sidLength == 0 || sidLength > kSidBufferSize ||
        !EventRecordHolds(view.size, record->UserSidOffset, sidLength)) {
        return LibraryStrdup(kNoUser);
    }
    BYTE sid[kSidBufferSize] = {};
    memcpy(sid, reinterpret_cast<const BYTE*>(record) + record->UserSidOffset, sidLength);
    char name[kAccountNameSize] = {};
    char domain[kAccountNameSize] = {};
    DWORD nameLength = kAccountNameSize, domainLength = kAccountNameSize;
    SID_NAME_USE use;
    if (!LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        return LibraryStrdup(kNoUser);
    }
    name[kAccountNameSize - 1] = '\0';
    domain[kAccountNameSize - 1] = '\0';
    char* text = static_cast<char*>(LibraryMalloc(kUserTextSize));
    if (text != nullptr) {
        snprintf(text, kUserTextSize, "%s\\%s", domain, name);
    }
    return text;
}

// A field of the key the way a 32-bit string-to-integer conversion reads it: digits up to the
// first other character, held to the 32-bit range.
int32_t KeyNumber(const char* field) {
    long long number = strtoll(field, nullptr, 10);
    if (number > INT32_MAX) {
        return INT32_MAX;
    }
    return number < INT32_MIN ? INT32_MIN : static_cast<int32_t>(number);
}

} // namespace

uint16_t EventElementBit(int element) {
    return element >= 0 && element < kEventRecordElements ? kElementBits[element] : 0;
}

char* NewEventElementText(const EventRecordView& view, int element) {
    const EVENTLOGRECORD* record = view.record;
    switch (element) {
    case kEventTypeElement:
        return NewNumberText(record->EventType);
    case kSourceNameElement: {
        const char* source = SourceName(view);
        return LibraryStrdup(source != nullptr ? source : "");
    }
    case kCategoryElement:
        return NewCategoryText(view);
    case kEventIdElement:
        return NewNumberText(record->EventID & 0xFFFF);
    case kDataElement:
        return NewDataText(view);
    case kTimeWrittenElement:
        return NewNumberText(static_cast<long long>(record->TimeWritten) * 1000);
    case kMessageElement:
        return NewMessageText(view);
    case kUserElement:
        return NewUserText(view);
    default:
        return LibraryStrdup("");
    }
}

int32_t EventMessageHash(const EventRecordView& view) {
    ScopedMalloc text(NewMessageBuffer());
    if (!text.held()) {
        return 0;
    }
    char* message = static_cast<char*>(text.get());
    if (LookupEventMessage(SourceName(view), view.record->EventID, message, kEventMessageSize,
                           view.logName, kEventMessageFileValue) != 0) {
        return 0;
    }
    return HashMessageText(message);
}

void FormatEventRecordKey(const EventRecordView& view, char* key, size_t capacity) {
    const EVENTLOGRECORD* record = view.record;
    snprintf(key, capacity, "%s:%d:%d:%d:%d:%d:%d", view.logName,
             static_cast<int>(static_cast<int32_t>(record->TimeGenerated)),
             static_cast<int>(static_cast<int32_t>(record->TimeWritten)),
             static_cast<int>(static_cast<int32_t>(record->EventID)),
             static_cast<int>(record->EventType), static_cast<int>(record->EventCategory),
             static_cast<int>(EventMessageHash(view)));
}

bool ParseEventRecordKey(char* key, EventRecordKey* parsed) {
    char* fields[kRecordKeyFields];
    char* cursor = key;
    for (int i = 0; i < kRecordKeyFields; ++i) {
        // As strtok splits: runs of separators count as one, and empty fields do not exist.
        cursor += strspn(cursor, ":");
        if (*cursor == '\0') {
            return false;
        }
        fields[i] = cursor;
        cursor += strcspn(cursor, ":");
        if (*cursor != '\0') {
            *cursor++ = '\0';
        }
    }
    parsed->logName = fields[0];
    parsed->timeGenerated = KeyNumber(fields[1]);
    parsed->timeWritten = KeyNumber(fields[2]);
    parsed->eventId = KeyNumber(fields[3]);
    parsed->eventType = KeyNumber(fields[4]);
    parsed->eventCategory = KeyNumber(fields[5]);
    parsed->messageHash = KeyNumber(fields[6]);
    return true;
}

bool EventRecordNumbersMatch(const EVENTLOGRECORD* record, const EventRecordKey& key) {
    return static_cast<int32_t>(record->TimeGenerated) == key.timeGenerated &&
           static_cast<int32_t>(record->TimeWritten) == key.timeWritten &&
           static_cast<int32_t>(record->EventID) == key.eventId &&
           static_cast<int32_t>(record->EventType) == key.eventType &&
           static_cast<int32_t>(record->EventCategory) == key.eventCategory;
}
