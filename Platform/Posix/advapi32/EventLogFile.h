// The classic event log file: a 48-byte header, the records as a ring after it, and a 40-byte
// end-of-file record after the newest one. Records hold their text as UTF-16, as the event log
// service stores them; ReadEventLogA hands out their ANSI form. Pure functions over a file
// descriptor: every offset is checked against the file before it is read, so a damaged file ends
// in ERROR_EVENTLOG_FILE_CORRUPT, never in a read outside it or a walk that does not end.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/EventLog.h"
#include "Platform/Posix/common/Win32Types.h"

#include <string>
#include <vector>

constexpr DWORD kEvtSignature = 0x654c664c; // "LfLe"
constexpr DWORD kEvtHeaderSize = 0x30;
constexpr DWORD kEvtEofSize = 0x28;
constexpr DWORD kEvtFixedSize = sizeof(EVENTLOGRECORD);
// Fixed part, two empty names and the closing length.
constexpr DWORD kEvtSmallestRecord = kEvtFixedSize + 4 + 4;

constexpr DWORD kEvtFlagDirty = 0x1;
constexpr DWORD kEvtFlagWrap = 0x2;
constexpr DWORD kEvtFlagLogFullWritten = 0x4;
constexpr DWORD kEvtFlagArchiveSet = 0x8;

constexpr DWORD kEvtDefaultMaxSize = 0x80000;

struct EvtHeader {
    DWORD headerSize;
    DWORD signature;
    DWORD majorVersion;
    DWORD minorVersion;
    DWORD startOffset;
    DWORD endOffset;
    DWORD currentRecordNumber;
    DWORD oldestRecordNumber;
    DWORD maxSize;
    DWORD flags;
    DWORD retention;
    DWORD endHeaderSize;
};
static_assert(sizeof(EvtHeader) == kEvtHeaderSize, "the header as the file holds it");

struct EvtEofRecord {
    DWORD sizeBeginning;
    DWORD one;
    DWORD two;
    DWORD three;
    DWORD four;
    DWORD beginRecord;
    DWORD endRecord;
    DWORD currentRecordNumber;
    DWORD oldestRecordNumber;
    DWORD sizeEnd;
};
static_assert(sizeof(EvtEofRecord) == kEvtEofSize, "the end-of-file record as the file holds it");

// Where a log's records are: what the header says, or for a dirty file what its end-of-file
// record says. The ring runs from the header to ringEnd; the records from start (number oldest)
// to end, where the end-of-file record stands; next is the number the next record gets.
struct EvtLayout {
    EvtHeader header;
    DWORD ringEnd;
    DWORD start;
    DWORD end;
    DWORD oldest;
    DWORD next;
};

inline DWORD EvtRecordCount(const EvtLayout& layout) {
    return layout.oldest == 0 ? 0 : layout.next - layout.oldest;
}

// The bytes the records take, from start to end around the ring.
DWORD EvtUsedBytes(const EvtLayout& layout);

// The offset count bytes after offset, around the ring.
DWORD EvtRingAdvance(const EvtLayout& layout, DWORD offset, DWORD count);

// A new empty header for a log of maxSize bytes.
EvtHeader EvtNewHeader(DWORD maxSize, DWORD retention);
EvtEofRecord EvtEofFor(DWORD start, DWORD end, DWORD next, DWORD oldest);

// Reads the layout of the file open on descriptor. An empty file (a log not written yet) gives
// an empty layout with the default header. ERROR_EVENTLOG_FILE_CORRUPT for a bad header, or a
// dirty file without an end-of-file record that makes sense; I/O failures as their Win32 code.
DWORD EvtLoadLayout(int descriptor, EvtLayout* layout);

// Reads count bytes at offset of the ring, continuing after the header past its end.
DWORD EvtReadRing(int descriptor, const EvtLayout& layout, DWORD offset, void* out, DWORD count);
DWORD EvtWriteRing(int descriptor, const EvtLayout& layout, DWORD offset, const void* data,
                   DWORD count);

// The record at offset, checked whole: signature, both lengths, the offsets inside it, and that
// it ends within the used part of the ring.
DWORD EvtReadRecord(int descriptor, const EvtLayout& layout, DWORD offset, std::string* record);

// The offset of the record before the one at offset (whose closing length says where it starts).
DWORD EvtPreviousOffset(int descriptor, const EvtLayout& layout, DWORD offset, DWORD* previous);

// The offset of record number `number`, walking from the oldest, or from a known (number,
// offset) pair when it lies on the way. ERROR_INVALID_PARAMETER when the log has no such record.
DWORD EvtFindRecord(int descriptor, const EvtLayout& layout, DWORD number, DWORD hintNumber,
                    DWORD hintOffset, DWORD* offset);

// A stored (UTF-16) record in the ANSI form ReadEventLogA returns, laid out the same way.
bool EvtRecordToAnsi(const std::string& stored, std::string* ansi);

// The parts of a new record, in ANSI; the stored record comes back in UTF-16.
struct EvtNewRecord {
    DWORD recordNumber;
    DWORD timeGenerated;
    DWORD timeWritten;
    DWORD eventId;
    WORD eventType;
    WORD eventCategory;
    const char* source;
    const char* computer;
    const void* sid;
    DWORD sidLength;
    WORD stringCount;
    const char* const* strings;
    const void* data;
    DWORD dataLength;
};
std::string EvtBuildRecord(const EvtNewRecord& parts);

// The parts of a record whose text is UTF-16 already (a record of another log format): the text
// goes into the stored record as it stands, each piece ending at its first NUL, at most 0xFFFF
// strings.
struct EvtWideRecord {
    DWORD recordNumber;
    DWORD timeGenerated;
    DWORD timeWritten;
    DWORD eventId;
    WORD eventType;
    WORD eventCategory;
    std::u16string source;
    std::u16string computer;
    std::string sid;
    std::vector<std::u16string> strings;
    std::string data;
};
std::string EvtBuildWideRecord(const EvtWideRecord& parts);

// Writes a header, then an end-of-file record, each in one piece where the ring allows.
DWORD EvtWriteHeader(int descriptor, const EvtHeader& header);
DWORD EvtWriteEof(int descriptor, const EvtLayout& layout, const EvtEofRecord& eof);

// Appends a stored record numbered layout->next: the file grows up to the header's MaxSize, then
// wraps, the oldest records giving way as far as Retention (seconds; 0 overwrites as needed,
// 0xFFFFFFFF never) allows at time now, else ERROR_LOG_FILE_FULL. The header is marked dirty
// while the records change and clean after; leaveDirty stops before that last write, as a log
// whose service stopped abruptly is left.
DWORD EvtAppend(int descriptor, EvtLayout* layout, const std::string& record, DWORD now,
                bool leaveDirty);

// Empties the log: a clean header that keeps MaxSize and Retention, and numbering from 1.
DWORD EvtClear(int descriptor, EvtLayout* layout);
