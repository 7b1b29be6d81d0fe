#include "Platform/Posix/advapi32/EventLogWriting.h"

#include "Platform/Posix/advapi32/EventLogTestHooks.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/PosixCalls.h"

#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <time.h>

namespace {

std::atomic<bool> g_leaveDirty{false};

DWORD CurrentTime() {
    time_t now = time(nullptr);
    return now < 0 ? 0 : DWORD(now);
}

// The first write creates the log with the key's size and retention.
DWORD OpenForAppending(const EventLogHandle* log, int* descriptor, EvtLayout* layout) {
    *descriptor = PosixOpen(log->path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (*descriptor < 0) {
        return Win32ErrorFromPathErrno(errno, log->path);
    }
    DWORD error = LockLogFile(*descriptor, F_WRLCK);
    if (error == ERROR_SUCCESS) {
        error = EvtLoadLayout(*descriptor, layout);
    }
    if (error == ERROR_SUCCESS && layout->header.endOffset == kEvtHeaderSize &&
        layout->header.currentRecordNumber == 1 && EvtRecordCount(*layout) == 0) {
        layout->header.maxSize = log->maxSize;
        layout->header.retention = log->retention;
    }
    return error;
}

// Copies the log's file as it stands to a new file at backup (a DOS path).
DWORD BackUp(int descriptor, const char* backup) {
    char target[kPathCapacity];
    if (!DosPathToUnix(backup, target, sizeof target)) {
        return GetLastError();
    }
    ScopedDescriptor copy(PosixOpen(target, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (copy.get() < 0) {
        return Win32ErrorFromPathErrno(errno, target, ERROR_ALREADY_EXISTS);
    }
    char block[64 * 1024];
    for (off_t at = 0;;) {
        ssize_t got = PosixPread(descriptor, block, sizeof block, at);
        if (got < 0) {
            return Win32ErrorFromErrno(errno);
        }
        if (got == 0) {
            return ERROR_SUCCESS;
        }
        if (PosixWrite(copy.get(), block, size_t(got)) != got) {
            return Win32ErrorFromErrno(errno == 0 ? ENOSPC : errno);
        }
        at += got;
    }
}

// An .evtx log is read only. Windows refuses a write to a log the caller may not write with
// ERROR_ACCESS_DENIED, and so does the layer (as its fault plan does for these calls): the layer
// does not write the .evtx format, and an .evtx log is a Windows volume's, below whose root
// nothing is ever written. The refusal comes before the file is opened, so nothing, not even a
// backup copy, is written.
bool IsReadOnly(const EventLogHandle* log) {
    return EvtxIsEvtxPath(log->path);
}

// The log's file opened for a change to it, or ERROR_ACCESS_DENIED for one never written.
DWORD OpenForChange(const EventLogHandle* log, int* descriptor, EvtLayout* layout) {
    return IsReadOnly(log) ? ERROR_ACCESS_DENIED : OpenForAppending(log, descriptor, layout);
}

} // namespace

void EventLogLeaveDirtyForTests(bool leaveDirty) {
    g_leaveDirty = leaveDirty;
}

DWORD AppendToLog(const EventLogHandle* log, EvtNewRecord parts) {
    int raw = -1;
    EvtLayout layout;
    DWORD error = OpenForChange(log, &raw, &layout);
    ScopedDescriptor descriptor(raw);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    DWORD now = CurrentTime();
    parts.recordNumber = layout.next;
    parts.timeGenerated = now;
    parts.timeWritten = now;
    return EvtAppend(descriptor.get(), &layout, EvtBuildRecord(parts), now, g_leaveDirty);
}

DWORD ClearLog(const EventLogHandle* log, const char* backup) {
    int raw = -1;
    EvtLayout layout;
    DWORD error = OpenForChange(log, &raw, &layout);
    ScopedDescriptor descriptor(raw);
    if (error == ERROR_SUCCESS && backup != nullptr && backup[0] != '\0') {
        error = BackUp(descriptor.get(), backup);
    }
    return error == ERROR_SUCCESS ? EvtClear(descriptor.get(), &layout) : error;
}
