// What an event record reads as in Java: the nine texts of readNextEventLogRecord's result, and
// the record key that names one record for checkInstanceExists.
#pragma once

#include "Platform/Win32.h"

#include <stddef.h>
#include <stdint.h>

// One record as read, with the name the log was opened under.
struct EventRecordView {
    const EVENTLOGRECORD* record;
    DWORD size; // the record's bytes; no read goes past them
    const char* logName;
};

enum EventRecordElement {
    kRecordKeyElement,
    kEventTypeElement,
    kSourceNameElement,
    kCategoryElement,
    kEventIdElement,
    kDataElement,
    kTimeWrittenElement,
    kMessageElement,
    kUserElement,
    kEventRecordElements
};

constexpr size_t kRecordKeySize = 1024;

// The mask bit that selects an element's text; element 0, the key, is always filled.
uint16_t EventElementBit(int element);

// The text of element 1 to 8 in a new malloc'd buffer; null when out of memory.
char* NewEventElementText(const EventRecordView& view, int element);

// The hash of the record's message text before its inserts are put in; 0 when it has none.
int32_t EventMessageHash(const EventRecordView& view);

// The record key: "log:generated:written:id:type:category:hash", cut to capacity.
void FormatEventRecordKey(const EventRecordView& view, char* key, size_t capacity);

// A record key taken apart: the log name points into the parsed text.
struct EventRecordKey {
    const char* logName;
    int32_t timeGenerated, timeWritten, eventId, eventType, eventCategory, messageHash;
};

// Splits key in place at ":"; false when it has fewer than seven fields.
bool ParseEventRecordKey(char* key, EventRecordKey* parsed);

// True when the record's five numbers are the key's; the hash is left to the caller, since it
// costs a message lookup.
bool EventRecordNumbersMatch(const EVENTLOGRECORD* record, const EventRecordKey& key);
