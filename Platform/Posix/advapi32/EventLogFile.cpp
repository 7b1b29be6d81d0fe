#include "Platform/Posix/advapi32/EventLogFile.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <errno.h>
#include <string.h>

namespace {

constexpr DWORD kEofMarkers[4] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};
// The scan for a dirty file's end-of-file record reads this much at a time.
constexpr size_t kScanChunk = 64 * 1024;
constexpr off_t kEvtLargestFile = 0x7FFFFFFF;

DWORD RingLength(const EvtLayout& layout) {
    return layout.ringEnd - kEvtHeaderSize;
}

bool InRing(const EvtLayout& layout, DWORD offset) {
    return offset >= kEvtHeaderSize && offset < layout.ringEnd && offset % 4 == 0;
}

// Distance from the oldest record to offset, around the ring.
DWORD DistanceFromStart(const EvtLayout& layout, DWORD offset) {
    return offset >= layout.start ? offset - layout.start
                                  : layout.ringEnd - layout.start + offset - kEvtHeaderSize;
}

DWORD ReadFully(int descriptor, void* out, DWORD count, DWORD offset) {
    char* bytes = static_cast<char*>(out);
    DWORD done = 0;
    while (done < count) {
        ssize_t got = PosixPread(descriptor, bytes + done, count - done, off_t(offset) + done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Win32ErrorFromErrno(errno);
        }
        if (got == 0) {
            // The file ends before what its own offsets promise.
            return ERROR_EVENTLOG_FILE_CORRUPT;
        }
        done += DWORD(got);
    }
    return ERROR_SUCCESS;
}

DWORD WriteFully(int descriptor, const void* data, DWORD count, DWORD offset) {
    const char* bytes = static_cast<const char*>(data);
    DWORD done = 0;
    while (done < count) {
        ssize_t put = PosixPwrite(descriptor, bytes + done, count - done, off_t(offset) + done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Win32ErrorFromErrno(errno);
        }
        done += DWORD(put);
    }
    return ERROR_SUCCESS;
}

bool IsEof(const EvtEofRecord& eof) {
    return eof.sizeBeginning == kEvtEofSize && eof.sizeEnd == kEvtEofSize &&
           eof.one == kEofMarkers[0] && eof.two == kEofMarkers[1] && eof.three == kEofMarkers[2] &&
           eof.four == kEofMarkers[3];
}

bool HeaderIsSound(const EvtHeader& header) {
    return header.headerSize == kEvtHeaderSize && header.endHeaderSize == kEvtHeaderSize &&
           header.signature == kEvtSignature && header.majorVersion == 1 &&
           header.minorVersion == 1;
}

// Whether start, end and the numbers describe records that can be there. A log whose records
// end where they start holds none, whatever its oldest number says (TakeOffsets clears it).
bool LayoutIsSound(const EvtLayout& layout) {
    if (!InRing(layout, layout.start) || !InRing(layout, layout.end) ||
        RingLength(layout) < kEvtEofSize) {
        return false;
    }
    if (layout.start == layout.end) {
        return layout.next != 0;
    }
    if (layout.oldest == 0 || layout.next <= layout.oldest) {
        return false;
    }
    unsigned long long least =
        static_cast<unsigned long long>(layout.next - layout.oldest) * kEvtSmallestRecord;
    return least <= EvtUsedBytes(layout) &&
           EvtUsedBytes(layout) + kEvtEofSize <= RingLength(layout);
}

// The offsets and numbers a header or an end-of-file record gives; an empty log has no oldest.
void TakeOffsets(EvtLayout* layout, DWORD start, DWORD end, DWORD next, DWORD oldest) {
    layout->start = start;
    layout->end = end;
    layout->next = next;
    layout->oldest = start == end ? 0 : oldest;
}

void TakeEof(EvtLayout* layout, const EvtEofRecord& eof) {
    TakeOffsets(layout, eof.beginRecord, eof.endRecord, eof.currentRecordNumber,
                eof.oldestRecordNumber);
}

void ConsiderEof(const EvtEofRecord& eof, DWORD at, EvtEofRecord* best, bool* found) {
    if (IsEof(eof) && eof.endRecord == at &&
        (!*found || eof.currentRecordNumber > best->currentRecordNumber)) {
        *best = eof;
        *found = true;
    }
}

// A dirty file's header offsets are stale: the end-of-file record that names its own place is the
// truth, and of several (an old one the ring has not yet covered) the newest.
DWORD ScanForEof(int descriptor, EvtLayout* layout) {
    std::string chunk;
    chunk.resize(kScanChunk + kEvtEofSize);
    bool found = false;
    EvtEofRecord best{};
    for (DWORD base = kEvtHeaderSize; base + kEvtEofSize <= layout->ringEnd; base += kScanChunk) {
        DWORD count = layout->ringEnd - base;
        count = count > chunk.size() ? DWORD(chunk.size()) : count;
        DWORD error = ReadFully(descriptor, &chunk[0], count, base);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        for (DWORD at = 0; at + kEvtEofSize <= count && at < kScanChunk; at += 4) {
            EvtEofRecord eof;
            memcpy(&eof, chunk.data() + at, sizeof eof);
            ConsiderEof(eof, base + at, &best, &found);
        }
    }
    // An end-of-file record may itself run past the file's end and go on after the header.
    DWORD tail = layout->ringEnd >= kEvtHeaderSize + 2 * kEvtEofSize
                     ? layout->ringEnd - kEvtEofSize + 4
                     : layout->ringEnd;
    for (DWORD at = tail; at < layout->ringEnd; at += 4) {
        EvtEofRecord eof;
        DWORD error = EvtReadRing(descriptor, *layout, at, &eof, sizeof eof);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        ConsiderEof(eof, at, &best, &found);
    }
    if (!found) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    TakeEof(layout, best);
    return LayoutIsSound(*layout) ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

void AppendBytes(std::string* out, const void* data, size_t count) {
    out->append(static_cast<const char*>(data), count);
}

void PadToDword(std::string* out) {
    while (out->size() % 4 != 0) {
        out->push_back('\0');
    }
}

// Text as the stored record keeps it: UTF-16 little-endian, terminated.
std::string WideText(const char* ansi) {
    std::u16string wide = AnsiToUtf16(ansi, strlen(ansi));
    std::string out;
    for (char16_t unit : wide) {
        out.push_back(char(unit & 0xff));
        out.push_back(char(unit >> 8));
    }
    out.append(2, '\0');
    return out;
}

// UTF-16 text as the stored record keeps it, up to its first NUL, terminated.
std::string StoredText(const std::u16string& wide) {
    std::string out;
    for (char16_t unit : wide) {
        if (unit == 0) {
            break;
        }
        out.push_back(static_cast<char>(unit & 0xff));
        out.push_back(static_cast<char>(unit >> 8));
    }
    out.append(2, '\0');
    return out;
}

// The parts of a record, each already in the record's encoding with its terminators.
struct RecordParts {
    EVENTLOGRECORD fixed;
    std::string source;
    std::string computer;
    std::string sid;
    std::string strings;
    std::string data;
};

std::string Assemble(RecordParts parts, bool ansiForm) {
    std::string out(kEvtFixedSize, '\0');
    out += parts.source;
    out += parts.computer;
    // The SID starts on a DWORD. The ANSI form ReadEventLogA hands out pads at least one byte
    // even where the names already end on one; the stored form pads only as far as needed.
    out.append(ansiForm ? 4 - out.size() % 4 : (4 - out.size() % 4) % 4, '\0');
    parts.fixed.UserSidOffset = DWORD(out.size());
    parts.fixed.UserSidLength = DWORD(parts.sid.size());
    out += parts.sid;
    parts.fixed.StringOffset = DWORD(out.size());
    out += parts.strings;
    parts.fixed.DataOffset = DWORD(out.size());
    parts.fixed.DataLength = DWORD(parts.data.size());
    out += parts.data;
    PadToDword(&out);
    parts.fixed.Length = DWORD(out.size() + 4);
    parts.fixed.Reserved = kEvtSignature;
    AppendBytes(&out, &parts.fixed.Length, 4);
    memcpy(&out[0], &parts.fixed, kEvtFixedSize);
    return out;
}

// A terminated UTF-16 string at *at, before limit, as ANSI with its terminator; moves *at past it.
bool TakeWideText(const std::string& record, DWORD* at, DWORD limit, std::string* ansi) {
    std::u16string wide;
    for (DWORD i = *at; i + 2 <= limit; i += 2) {
        char16_t unit = char16_t(BYTE(record[i]) | (BYTE(record[i + 1]) << 8));
        if (unit == 0) {
            ansi->resize(wide.size());
            Utf16ToAnsi(wide.data(), wide.size(), ansi->empty() ? nullptr : &(*ansi)[0]);
            ansi->push_back('\0');
            *at = i + 2;
            return true;
        }
        wide.push_back(unit);
    }
    return false;
}

bool FieldInside(DWORD offset, DWORD length, DWORD limit) {
    return length == 0 ||
           (offset >= kEvtFixedSize && static_cast<unsigned long long>(offset) + length <= limit);
}

} // namespace

DWORD EvtUsedBytes(const EvtLayout& layout) {
    return DistanceFromStart(layout, layout.end);
}

DWORD EvtRingAdvance(const EvtLayout& layout, DWORD offset, DWORD count) {
    unsigned long long relative = static_cast<unsigned long long>(offset - kEvtHeaderSize) + count;
    return DWORD(relative % RingLength(layout)) + kEvtHeaderSize;
}

EvtHeader EvtNewHeader(DWORD maxSize, DWORD retention) {
    EvtHeader header{};
    header.headerSize = kEvtHeaderSize;
    header.signature = kEvtSignature;
    header.majorVersion = 1;
    header.minorVersion = 1;
    header.startOffset = kEvtHeaderSize;
    header.endOffset = kEvtHeaderSize;
    header.currentRecordNumber = 1;
    header.oldestRecordNumber = 0;
    header.maxSize = maxSize;
    header.retention = retention;
    header.endHeaderSize = kEvtHeaderSize;
    return header;
}

EvtEofRecord EvtEofFor(DWORD start, DWORD end, DWORD next, DWORD oldest) {
    return EvtEofRecord{
        kEvtEofSize, kEofMarkers[0], kEofMarkers[1], kEofMarkers[2], kEofMarkers[3], start,
        end,         next,           oldest,         kEvtEofSize};
}

DWORD EvtLoadLayout(int descriptor, EvtLayout* layout) {
    struct stat info;
    if (PosixFstat(descriptor, &info) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    *layout = EvtLayout{};
    if (info.st_size == 0) {
        layout->header = EvtNewHeader(kEvtDefaultMaxSize, 0);
        layout->ringEnd = kEvtHeaderSize + kEvtEofSize;
        layout->start = layout->end = kEvtHeaderSize;
        layout->next = 1;
        return ERROR_SUCCESS;
    }
    // Offsets are 32-bit; a file past 2 GiB is none the service wrote.
    if (info.st_size < off_t(kEvtHeaderSize + kEvtEofSize) || info.st_size > kEvtLargestFile) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD error = ReadFully(descriptor, &layout->header, kEvtHeaderSize, 0);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (!HeaderIsSound(layout->header)) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    layout->ringEnd = DWORD(info.st_size) & ~3u;
    if (layout->header.flags & kEvtFlagDirty) {
        return ScanForEof(descriptor, layout);
    }
    const EvtHeader& header = layout->header;
    TakeOffsets(layout, header.startOffset, header.endOffset, header.currentRecordNumber,
                header.oldestRecordNumber);
    if (!LayoutIsSound(*layout)) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    EvtEofRecord eof;
    error = EvtReadRing(descriptor, *layout, layout->end, &eof, sizeof eof);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return IsEof(eof) ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

DWORD EvtReadRing(int descriptor, const EvtLayout& layout, DWORD offset, void* out, DWORD count) {
    if (!InRing(layout, offset) || count > RingLength(layout)) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD first = layout.ringEnd - offset;
    first = first > count ? count : first;
    DWORD error = ReadFully(descriptor, out, first, offset);
    if (error != ERROR_SUCCESS || first == count) {
        return error;
    }
    return ReadFully(descriptor, static_cast<char*>(out) + first, count - first, kEvtHeaderSize);
}

DWORD EvtWriteRing(int descriptor, const EvtLayout& layout, DWORD offset, const void* data,
                   DWORD count) {
    if (!InRing(layout, offset) || count > RingLength(layout)) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD first = layout.ringEnd - offset;
    first = first > count ? count : first;
    DWORD error = WriteFully(descriptor, data, first, offset);
    if (error != ERROR_SUCCESS || first == count) {
        return error;
    }
    return WriteFully(descriptor, static_cast<const char*>(data) + first, count - first,
                      kEvtHeaderSize);
}

DWORD EvtReadRecord(int descriptor, const EvtLayout& layout, DWORD offset, std::string* record) {
    if (!InRing(layout, offset) || EvtRecordCount(layout) == 0) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD distance = DistanceFromStart(layout, offset);
    DWORD used = EvtUsedBytes(layout);
    DWORD lead[2];
    if (distance >= used) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD error = EvtReadRing(descriptor, layout, offset, lead, sizeof lead);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD length = lead[0];
    if (lead[1] != kEvtSignature || length < kEvtSmallestRecord || length % 4 != 0 ||
        length > used - distance) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    record->resize(length);
    error = EvtReadRing(descriptor, layout, offset, &(*record)[0], length);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    EVENTLOGRECORD fixed;
    memcpy(&fixed, record->data(), sizeof fixed);
    DWORD closing;
    memcpy(&closing, record->data() + length - 4, 4);
    DWORD limit = length - 4;
    bool sound = closing == length &&
                 FieldInside(fixed.UserSidOffset, fixed.UserSidLength, limit) &&
                 FieldInside(fixed.DataOffset, fixed.DataLength, limit) &&
                 (fixed.NumStrings == 0 ||
                  (fixed.StringOffset >= kEvtFixedSize && fixed.StringOffset < limit));
    return sound ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

DWORD EvtPreviousOffset(int descriptor, const EvtLayout& layout, DWORD offset, DWORD* previous) {
    if (!InRing(layout, offset) || offset == layout.start) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    DWORD lengthAt = offset == kEvtHeaderSize ? layout.ringEnd - 4 : offset - 4;
    DWORD length = 0;
    DWORD error = EvtReadRing(descriptor, layout, lengthAt, &length, 4);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    if (length < kEvtSmallestRecord || length > DistanceFromStart(layout, offset)) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    *previous = EvtRingAdvance(layout, offset, RingLength(layout) - length);
    return ERROR_SUCCESS;
}

DWORD EvtFindRecord(int descriptor, const EvtLayout& layout, DWORD number, DWORD hintNumber,
                    DWORD hintOffset, DWORD* offset) {
    if (EvtRecordCount(layout) == 0 || number < layout.oldest || number >= layout.next) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD at = layout.start;
    DWORD atNumber = layout.oldest;
    std::string record;
    if (hintNumber > atNumber && hintNumber <= number &&
        EvtReadRecord(descriptor, layout, hintOffset, &record) == ERROR_SUCCESS &&
        reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber == hintNumber) {
        at = hintOffset;
        atNumber = hintNumber;
    }
    // Each step reads one whole record inside the used part, so the walk ends after at most
    // next - oldest steps.
    for (;;) {
        DWORD error = EvtReadRecord(descriptor, layout, at, &record);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        if (reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber != atNumber) {
            return ERROR_EVENTLOG_FILE_CORRUPT;
        }
        if (atNumber == number) {
            *offset = at;
            return ERROR_SUCCESS;
        }
        at = EvtRingAdvance(layout, at, DWORD(record.size()));
        ++atNumber;
    }
}

bool EvtRecordToAnsi(const std::string& stored, std::string* ansi) {
    if (stored.size() < kEvtSmallestRecord || stored.size() > size_t(kEvtLargestFile)) {
        return false;
    }
    RecordParts parts;
    memcpy(&parts.fixed, stored.data(), sizeof parts.fixed);
    DWORD limit = DWORD(stored.size()) - 4;
    if (!FieldInside(parts.fixed.UserSidOffset, parts.fixed.UserSidLength, limit) ||
        !FieldInside(parts.fixed.DataOffset, parts.fixed.DataLength, limit) ||
        (parts.fixed.NumStrings != 0 && parts.fixed.StringOffset < kEvtFixedSize)) {
        return false;
    }
    DWORD at = kEvtFixedSize;
    if (!TakeWideText(stored, &at, limit, &parts.source) ||
        !TakeWideText(stored, &at, limit, &parts.computer)) {
        return false;
    }
    // An empty field's offset is checked against nothing, so it is not read at all.
    if (parts.fixed.UserSidLength != 0) {
        parts.sid = stored.substr(parts.fixed.UserSidOffset, parts.fixed.UserSidLength);
    }
    at = parts.fixed.StringOffset;
    for (WORD i = 0; i < parts.fixed.NumStrings; ++i) {
        std::string text;
        if (!TakeWideText(stored, &at, limit, &text)) {
            return false;
        }
        parts.strings += text;
    }
    if (parts.fixed.DataLength != 0) {
        parts.data = stored.substr(parts.fixed.DataOffset, parts.fixed.DataLength);
    }
    *ansi = Assemble(parts, true);
    return true;
}

namespace {

// The fixed part that both kinds of new record give alike.
template <typename NewRecord> RecordParts FixedParts(const NewRecord& in) {
    RecordParts parts{};
    parts.fixed.RecordNumber = in.recordNumber;
    parts.fixed.TimeGenerated = in.timeGenerated;
    parts.fixed.TimeWritten = in.timeWritten;
    parts.fixed.EventID = in.eventId;
    parts.fixed.EventType = in.eventType;
    parts.fixed.EventCategory = in.eventCategory;
    return parts;
}

} // namespace

std::string EvtBuildRecord(const EvtNewRecord& in) {
    RecordParts parts = FixedParts(in);
    parts.fixed.NumStrings = in.stringCount;
    parts.source = WideText(in.source);
    parts.computer = WideText(in.computer);
    if (in.sid != nullptr) {
        AppendBytes(&parts.sid, in.sid, in.sidLength);
    }
    for (WORD i = 0; i < in.stringCount; ++i) {
        parts.strings += WideText(in.strings[i]);
    }
    if (in.data != nullptr) {
        AppendBytes(&parts.data, in.data, in.dataLength);
    }
    return Assemble(parts, false);
}

std::string EvtBuildWideRecord(const EvtWideRecord& in) {
    RecordParts parts = FixedParts(in);
    parts.source = StoredText(in.source);
    parts.computer = StoredText(in.computer);
    parts.sid = in.sid;
    size_t count = in.strings.size() < 0xFFFF ? in.strings.size() : 0xFFFF;
    parts.fixed.NumStrings = static_cast<WORD>(count);
    for (size_t i = 0; i < count; ++i) {
        parts.strings += StoredText(in.strings[i]);
    }
    parts.data = in.data;
    return Assemble(parts, false);
}

DWORD EvtWriteHeader(int descriptor, const EvtHeader& header) {
    return WriteFully(descriptor, &header, sizeof header, 0);
}

DWORD EvtWriteEof(int descriptor, const EvtLayout& layout, const EvtEofRecord& eof) {
    return EvtWriteRing(descriptor, layout, layout.end, &eof, sizeof eof);
}

namespace {

// Whether the oldest record may give way to a new one written at now.
DWORD OldestMayGo(int descriptor, const EvtLayout& layout, DWORD now) {
    DWORD retention = layout.header.retention;
    if (retention == 0) {
        return ERROR_SUCCESS;
    }
    if (retention == 0xFFFFFFFF) {
        return ERROR_LOG_FILE_FULL;
    }
    std::string oldest;
    DWORD error = EvtReadRecord(descriptor, layout, layout.start, &oldest);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD written = reinterpret_cast<const EVENTLOGRECORD*>(oldest.data())->TimeWritten;
    return static_cast<unsigned long long>(written) + retention <= now ? ERROR_SUCCESS
                                                                       : ERROR_LOG_FILE_FULL;
}

DWORD DropOldest(int descriptor, EvtLayout* layout) {
    std::string oldest;
    DWORD error = EvtReadRecord(descriptor, *layout, layout->start, &oldest);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    layout->start = EvtRingAdvance(*layout, layout->start, DWORD(oldest.size()));
    if (++layout->oldest == layout->next) {
        layout->oldest = 0;
        layout->start = layout->end;
    }
    return ERROR_SUCCESS;
}

// Makes room for needed bytes after the end, oldest records first.
DWORD MakeRoom(int descriptor, EvtLayout* layout, DWORD needed, DWORD now) {
    while (EvtRecordCount(*layout) != 0 && RingLength(*layout) - EvtUsedBytes(*layout) < needed) {
        DWORD error = OldestMayGo(descriptor, *layout, now);
        if (error == ERROR_SUCCESS) {
            error = DropOldest(descriptor, layout);
        }
        if (error != ERROR_SUCCESS) {
            return error;
        }
    }
    return ERROR_SUCCESS;
}

void SyncHeader(EvtLayout* layout) {
    layout->header.startOffset = layout->start;
    layout->header.endOffset = layout->end;
    layout->header.currentRecordNumber = layout->next;
    layout->header.oldestRecordNumber = layout->oldest;
}

// The ring the new record goes into: the file grows while it stays within MaxSize; past that the
// ring's end is fixed and writing wraps to just after the header.
DWORD RingEndFor(const EvtLayout& layout, DWORD needed) {
    unsigned long long linearEnd = static_cast<unsigned long long>(layout.end) + needed;
    if (layout.header.flags & kEvtFlagWrap) {
        return layout.ringEnd;
    }
    if (linearEnd <= layout.header.maxSize || linearEnd <= layout.ringEnd) {
        return linearEnd > layout.ringEnd ? DWORD(linearEnd) : layout.ringEnd;
    }
    DWORD maxEnd = layout.header.maxSize & ~3u;
    return maxEnd > layout.ringEnd ? maxEnd : layout.ringEnd;
}

// The layout once the record stands at the planned end.
EvtLayout LayoutAfter(const EvtLayout& planned, DWORD recordSize) {
    EvtLayout after = planned;
    after.end = EvtRingAdvance(after, planned.end, recordSize);
    if (after.oldest == 0) {
        after.oldest = after.next;
        after.start = planned.end;
    }
    ++after.next;
    return after;
}

} // namespace

namespace {

// After a failed write the log is put back as it was, less the oldest records that gave way: an
// end-of-file record at the old end and a clean header, as far as the file still takes writes.
void RestoreAfterFailure(int descriptor, EvtLayout* layout) {
    EvtWriteEof(descriptor, *layout,
                EvtEofFor(layout->start, layout->end, layout->next, layout->oldest));
    SyncHeader(layout);
    layout->header.flags &= ~kEvtFlagDirty;
    EvtWriteHeader(descriptor, layout->header);
}

} // namespace

DWORD EvtAppend(int descriptor, EvtLayout* layout, const std::string& record, DWORD now,
                bool leaveDirty) {
    if (record.size() > size_t(kEvtLargestFile)) {
        return ERROR_LOG_FILE_FULL;
    }
    DWORD needed = DWORD(record.size()) + kEvtEofSize;
    DWORD ringEnd = RingEndFor(*layout, needed);
    if (ringEnd < kEvtHeaderSize || needed > ringEnd - kEvtHeaderSize) {
        return ERROR_LOG_FILE_FULL;
    }
    bool wraps = static_cast<unsigned long long>(layout->end) + needed > ringEnd;
    EvtLayout planned = *layout;
    planned.ringEnd = ringEnd;
    DWORD error = MakeRoom(descriptor, &planned, needed, now);
    if (error == ERROR_LOG_FILE_FULL) {
        layout->header.flags |= kEvtFlagLogFullWritten;
        EvtWriteHeader(descriptor, layout->header);
    }
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // A header that counts more records than its bytes hold would be written back as a log that
    // no longer loads; it is refused as the corrupt file it is, and left as it stands.
    if (!LayoutIsSound(LayoutAfter(planned, DWORD(record.size())))) {
        return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    // From here the records that gave way may be overwritten: they stay gone whatever happens.
    *layout = planned;
    layout->header.flags = (layout->header.flags | kEvtFlagDirty) & ~kEvtFlagLogFullWritten;
    EvtLayout after = LayoutAfter(*layout, DWORD(record.size()));
    error = EvtWriteHeader(descriptor, layout->header);
    if (error == ERROR_SUCCESS) {
        error = EvtWriteRing(descriptor, *layout, layout->end, record.data(), DWORD(record.size()));
    }
    if (error == ERROR_SUCCESS) {
        error = EvtWriteEof(descriptor, after,
                            EvtEofFor(after.start, after.end, after.next, after.oldest));
    }
    if (error != ERROR_SUCCESS) {
        RestoreAfterFailure(descriptor, layout);
        return error;
    }
    *layout = after;
    if (wraps) {
        layout->header.flags |= kEvtFlagWrap;
    }
    if (leaveDirty) {
        return ERROR_SUCCESS;
    }
    SyncHeader(layout);
    layout->header.flags &= ~kEvtFlagDirty;
    // The record and its end-of-file record are written: a log whose header stays dirty is still
    // read whole from them, so the event counts as kept.
    EvtWriteHeader(descriptor, layout->header);
    return ERROR_SUCCESS;
}

DWORD EvtClear(int descriptor, EvtLayout* layout) {
    EvtHeader header = EvtNewHeader(layout->header.maxSize, layout->header.retention);
    if (PosixFtruncate(descriptor, 0) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    layout->header = header;
    layout->ringEnd = kEvtHeaderSize + kEvtEofSize;
    layout->start = layout->end = kEvtHeaderSize;
    layout->oldest = 0;
    layout->next = 1;
    DWORD error = EvtWriteHeader(descriptor, header);
    return error != ERROR_SUCCESS
               ? error
               : EvtWriteEof(descriptor, *layout, EvtEofFor(kEvtHeaderSize, kEvtHeaderSize, 1, 0));
}
