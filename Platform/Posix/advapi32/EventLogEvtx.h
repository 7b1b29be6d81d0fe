// Logs kept as .evtx files (Windows Vista on): read through libevtx and shown as the classic log
// the event log service shows of them. Each record becomes the EVENTLOGRECORD that ReadEventLog
// hands out for it, in the stored (UTF-16) form of EventLogFile.h, and the records together
// become a classic log file in memory, so that the classic reading code reads them as any .evt
// file. Nothing is ever written to an .evtx file.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/common/Win32Types.h"

#include <stdint.h>
#include <sys/stat.h>

#include <string>
#include <vector>

// The audit keywords of the standard keyword set (winmeta.h).
constexpr unsigned long long kEvtxKeywordAuditFailure = 0x0010000000000000ull;
constexpr unsigned long long kEvtxKeywordAuditSuccess = 0x0020000000000000ull;

// Whether the log's file is an .evtx file: by its name, as the service tells the formats apart.
bool EvtxIsEvtxPath(const char* path);

// What the System element of a record's XML holds beyond what libevtx reads out of it.
struct EvtxSystem {
    std::u16string eventSourceName; // Provider's EventSourceName: the classic source, if any
    WORD task;
    unsigned long long keywords;
    bool hasCreated;
    DWORD created; // TimeCreated, seconds since 1970
};

// The System element of a record's XML as libevtx renders it; what it lacks stays zero/empty.
EvtxSystem EvtxReadSystem(const std::u16string& xml);

// "2015-08-08T02:06:17.078125000Z" as seconds since 1970, whole seconds; false for other text
// or a time the classic record cannot hold.
bool EvtxParseSystemTime(const std::u16string& text, DWORD* seconds);

// A FILETIME as seconds since 1970, held to what a DWORD can say.
DWORD EvtxFiletimeToSeconds(uint64_t filetime);

// The classic EventType of a record of this level and these keywords.
WORD EvtxEventType(uint8_t level, unsigned long long keywords);

// One .evtx record as read, before it is numbered.
struct EvtxEvent {
    uint64_t identifier;
    uint64_t written; // FILETIME
    uint32_t eventId;
    bool hasQualifiers;
    uint32_t qualifiers;
    uint8_t level;
    std::u16string sourceName; // libevtx's: the provider's name
    std::u16string computer;
    std::u16string userSid; // text form, empty for none
    std::vector<std::u16string> strings;
    std::string data;
    EvtxSystem system;
};

// The stored classic record of an event, numbered recordNumber.
std::string EvtxClassicRecord(const EvtxEvent& event, DWORD recordNumber);

// A classic record made of an .evtx record, with the identifier the .evtx record had.
struct EvtxClassicEntry {
    uint64_t identifier;
    std::string record;
};

// The classic log file of these records: a clean header, the records oldest first, numbered
// from the oldest's identifier on (the order and the numbers are chosen where it is made), and
// the end-of-file record.
void EvtxLayOut(std::vector<EvtxClassicEntry>* records, std::string* image);

// The classic log file of an .evtx file: a clean header, the records oldest first, numbered
// from the oldest's identifier on, and the end-of-file record. Records libevtx cannot read are
// left out. ERROR_EVENTLOG_FILE_CORRUPT for a file libevtx cannot open.
DWORD EvtxBuildClassicLog(const char* evtxPath, std::string* image);

// The classic log an .evtx file shows, in an anonymous file, kept by its handle for as long as
// the .evtx file stays as it was when the image was made.
struct EvtxImage {
    int descriptor; // -1 for none
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
};

// A descriptor of its own on the classic image of the .evtx file at path, open on evtxDescriptor
// (in *descriptor, which the caller closes), made anew when image holds none of the file as it
// stands. The caller holds whatever keeps image.
DWORD EvtxOpenImage(EvtxImage* image, int evtxDescriptor, const char* path, int* descriptor);

// Closes the image's anonymous file, if any.
void EvtxReleaseImage(EvtxImage* image);
