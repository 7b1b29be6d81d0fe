// The readable texts of event records: a record carries numbers and insertion strings, and its
// text lives in the message files its source registered under the EventLog key.
#pragma once

#include "Platform/Win32.h"

#include <stddef.h>
#include <stdint.h>

// Room for a record's message or category text, and for one parameter message.
constexpr size_t kEventMessageSize = 32768;
constexpr size_t kParameterMessageSize = 4096;

constexpr char kEventMessageFileValue[] = "EventMessageFile";
constexpr char kCategoryMessageFileValue[] = "CategoryMessageFile";

// The text of messageId from the first of the source's message files (the ";"-separated paths
// of the value valueName of EventLog\<logName>\<sourceName>) that holds it, or from the system's
// own table, without its line end and cut to the capacity of text. Writes text only when a file
// gave a text. -1 when there is no source or log name, or the source key cannot be opened with
// all access rights, or the value cannot be read; 0 otherwise, found or not.
int LookupEventMessage(const char* sourceName, DWORD messageId, char* text, size_t capacity,
                       const char* logName, const char* valueName);

// Puts the record's insertion strings (%n) and then its source's parameter messages (%%n) into
// message, in place, cut to capacity. recordSize bounds every read of the record.
void ExpandEventMessageInserts(const EVENTLOGRECORD* record, DWORD recordSize, char* message,
                               size_t capacity, const char* logName);

// The hash of a message text that record keys carry; 0 for an empty or absent text.
int32_t HashMessageText(const char* text);
