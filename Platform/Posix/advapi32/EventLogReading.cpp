#include "Platform/Posix/advapi32/EventLogReading.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/PosixCalls.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <string>

namespace {

bool IsKnownFile(const KnownLayout& known, const struct stat& info) {
    return known.known && known.device == info.st_dev && known.inode == info.st_ino &&
           known.size == info.st_size && known.modified.tv_sec == info.st_mtim.tv_sec &&
           known.modified.tv_nsec == info.st_mtim.tv_nsec;
}

// Whether the end-of-file record the layout names still stands where it stood: every append
// writes over it.
bool EofStillStands(int descriptor, const EvtLayout& layout) {
    EvtEofRecord eof;
    EvtEofRecord expected = EvtEofFor(layout.start, layout.end, layout.next, layout.oldest);
    return EvtReadRing(descriptor, layout, layout.end, &eof, sizeof eof) == ERROR_SUCCESS &&
           memcmp(&eof, &expected, sizeof eof) == 0;
}

// The layout as the handle knows it, while the file is the one it was found in, unchanged;
// else read anew, and kept when it took a scan.
DWORD LoadKnownLayout(KnownLayout* known, int descriptor, EvtLayout* layout) {
    struct stat info;
    if (PosixFstat(descriptor, &info) != 0) {
        return Win32ErrorFromErrno(errno);
    }
    if (IsKnownFile(*known, info) && EofStillStands(descriptor, known->layout)) {
        *layout = known->layout;
        return ERROR_SUCCESS;
    }
    DWORD error = EvtLoadLayout(descriptor, layout);
    *known = KnownLayout{};
    if (error == ERROR_SUCCESS && (layout->header.flags & kEvtFlagDirty) != 0) {
        *known = KnownLayout{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, *layout};
    }
    return error;
}

// Opens the log's file for reading, sharing it with other readers. A file not written yet is an
// empty log: *descriptor stays -1 and the layout empty. known, when given, is the handle's
// layout of the last read; the caller holds the position lock, for it and for the handle's
// image of an .evtx log, which is read in place of its file.
DWORD OpenForReading(EventLogHandle* log, KnownLayout* known, int* descriptor, EvtLayout* layout) {
    *descriptor = PosixOpen(log->path, O_RDONLY | O_CLOEXEC);
    if (*descriptor < 0) {
        if (errno != ENOENT) {
            return Win32ErrorFromPathErrno(errno, log->path);
        }
        *layout = EvtLayout{};
        layout->start = layout->end = kEvtHeaderSize;
        layout->ringEnd = kEvtHeaderSize + kEvtEofSize;
        layout->next = 1;
        return ERROR_SUCCESS;
    }
    if (EvtxIsEvtxPath(log->path)) {
        // Nothing writes an .evtx file here, and the image is the handle's own: no lock to take.
        ScopedDescriptor evtx(*descriptor);
        DWORD error = EvtxOpenImage(&log->evtx, evtx.get(), log->path, descriptor);
        return error != ERROR_SUCCESS ? error : EvtLoadLayout(*descriptor, layout);
    }
    DWORD error = LockLogFile(*descriptor, F_RDLCK);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return known != nullptr ? LoadKnownLayout(known, *descriptor, layout)
                            : EvtLoadLayout(*descriptor, layout);
}

// The number the read starts at, or 0 at the end of the log in that direction.
DWORD FirstToRead(const EventLogHandle* log, const EvtLayout& layout, DWORD flags, DWORD seekTo) {
    bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
    if (EvtRecordCount(layout) == 0) {
        return 0;
    }
    DWORD newest = layout.next - 1;
    DWORD number = seekTo;
    if (flags & EVENTLOG_SEQUENTIAL_READ) {
        if (log->lastRead == 0) {
            number = backwards ? newest : layout.oldest;
        } else {
            number = backwards ? log->lastRead - 1 : log->lastRead + 1;
        }
        // Records the ring overwrote since the last read are gone; reading goes on after them.
        if (!backwards && number < layout.oldest) {
            number = layout.oldest;
        }
        if (backwards && number > newest) {
            number = newest;
        }
    }
    return number < layout.oldest || number > newest ? 0 : number;
}

struct ReadOutcome {
    DWORD copied;
    DWORD firstSize; // the ANSI size of the first record, when it did not fit
    DWORD lastNumber;
    DWORD lastOffset;
};

// Copies whole ANSI records from number on, in the flags' direction, while they fit.
DWORD CopyRecords(int descriptor, const EvtLayout& layout, DWORD number, DWORD offset, DWORD flags,
                  BYTE* buffer, DWORD capacity, ReadOutcome* outcome) {
    bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
    std::string stored;
    std::string ansi;
    for (;;) {
        DWORD error = EvtReadRecord(descriptor, layout, offset, &stored);
        if (error != ERROR_SUCCESS) {
            return error;
        }
        if (reinterpret_cast<const EVENTLOGRECORD*>(stored.data())->RecordNumber != number ||
            !EvtRecordToAnsi(stored, &ansi)) {
            return ERROR_EVENTLOG_FILE_CORRUPT;
        }
        if (ansi.size() > capacity - outcome->copied) {
            if (outcome->copied == 0) {
                outcome->firstSize = DWORD(ansi.size());
            }
            return ERROR_SUCCESS;
        }
        memcpy(buffer + outcome->copied, ansi.data(), ansi.size());
        outcome->copied += DWORD(ansi.size());
        outcome->lastNumber = number;
        outcome->lastOffset = offset;
        if (backwards ? number == layout.oldest : number + 1 == layout.next) {
            return ERROR_SUCCESS;
        }
        if (backwards) {
            error = EvtPreviousOffset(descriptor, layout, offset, &offset);
            if (error != ERROR_SUCCESS) {
                return error;
            }
            --number;
        } else {
            offset = EvtRingAdvance(layout, offset, DWORD(stored.size()));
            ++number;
        }
    }
}

// Whether the record read last still stands where it stood.
bool IsRecordAt(int descriptor, const EvtLayout& layout, const EventLogHandle* log) {
    std::string record;
    return EvtReadRecord(descriptor, layout, log->lastReadOffset, &record) == ERROR_SUCCESS &&
           reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber == log->lastRead;
}

} // namespace

bool ReadFlagsValid(DWORD flags) {
    DWORD how = flags & (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ);
    DWORD way = flags & (EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ);
    return (how == EVENTLOG_SEQUENTIAL_READ || how == EVENTLOG_SEEK_READ) &&
           (way == EVENTLOG_FORWARDS_READ || way == EVENTLOG_BACKWARDS_READ) &&
           (flags & ~(how | way)) == 0;
}

DWORD ReadRecords(EventLogHandle* log, DWORD flags, DWORD seekTo, BYTE* buffer, DWORD capacity,
                  DWORD* bytesRead, DWORD* needed) {
    int raw = -1;
    EvtLayout layout;
    DWORD error = OpenForReading(log, &log->known, &raw, &layout);
    ScopedDescriptor descriptor(raw);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD number = FirstToRead(log, layout, flags, seekTo);
    if (number == 0) {
        return (flags & EVENTLOG_SEEK_READ) ? ERROR_INVALID_PARAMETER : ERROR_HANDLE_EOF;
    }
    DWORD offset = 0;
    if (number + 1 == layout.next && EvtRecordCount(layout) > 1) {
        error = EvtPreviousOffset(descriptor.get(), layout, layout.end, &offset);
    } else if (number + 1 == log->lastRead && IsRecordAt(descriptor.get(), layout, log)) {
        // Reading backwards steps from the record read last, not from the oldest.
        error = EvtPreviousOffset(descriptor.get(), layout, log->lastReadOffset, &offset);
    } else {
        error = EvtFindRecord(descriptor.get(), layout, number, log->lastRead, log->lastReadOffset,
                              &offset);
    }
    if (error != ERROR_SUCCESS) {
        return error;
    }
    ReadOutcome outcome = {};
    error =
        CopyRecords(descriptor.get(), layout, number, offset, flags, buffer, capacity, &outcome);
    if (outcome.copied != 0) {
        log->lastRead = outcome.lastNumber;
        log->lastReadOffset = outcome.lastOffset;
        *bytesRead = outcome.copied;
        *needed = 0;
        return ERROR_SUCCESS;
    }
    if (error == ERROR_SUCCESS) {
        *bytesRead = 0;
        *needed = outcome.firstSize;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return error;
}

DWORD ReadLogLayout(EventLogHandle* log, EvtLayout* layout) {
    PositionLock position(log);
    int raw = -1;
    DWORD error = OpenForReading(log, nullptr, &raw, layout);
    ScopedDescriptor descriptor(raw);
    return error;
}
