// Event records as ReadEventLogA gives them, one at a time, and the bounded reads of their
// variable parts: nothing a record's offsets or lengths say is trusted past its own bytes.
#pragma once

#include "Platform/Win32.h"

#include <stdint.h>

// The next record of an open log, read with a size probe and one read of exactly its size, in a
// malloc'd buffer the caller frees; *recordSize gets the bytes that belong to it. Null at the end
// of the log and on any failure.
EVENTLOGRECORD* ReadNextEventRecord(HANDLE log, DWORD* recordSize);

// True when length bytes at offset lie inside a record of recordSize bytes.
bool EventRecordHolds(DWORD recordSize, DWORD offset, DWORD length);

// The source name that follows the fixed part; null when it is not terminated inside the record.
const char* EventRecordSourceName(const EVENTLOGRECORD* record, DWORD recordSize);

// Insertion string number (counted from 1); null when the record has fewer strings, or when the
// strings up to it are not terminated inside the record.
const char* EventRecordInsertionString(const EVENTLOGRECORD* record, DWORD recordSize,
                                       int64_t number);
