// The event log handles: a log, or a source and the log that holds it, opened by name through
// the EventLog key, each with its file, its size and retention, and the read position it keeps;
// and the log's file as a handle reaches it, locked against other readers' and writers' moves.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/EventLogEvtx.h"
#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/ScopedResource.h"

#include <pthread.h>
#include <sys/stat.h>

// Registry key names are at most 255 characters.
constexpr size_t kMaxLogName = 256;

// A dirty log's layout costs a scan of its whole file. A handle keeps the layout its last read
// found, with the file it was found in, for as long as that file stays as it was; otherwise
// reading a log record by record would scan the file once per record.
struct KnownLayout {
    bool known;
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    EvtLayout layout;
};

struct EventLogHandle {
    HandleObject header;
    DWORD signature;
    char logName[kMaxLogName];
    char sourceName[kMaxLogName];
    char path[kPathCapacity];
    DWORD maxSize;
    DWORD retention;
    // The sequential read position: the record read last (0 before the first read) and where
    // it stood, so that the next read need not walk the log from its oldest record.
    pthread_mutex_t positionLock;
    DWORD lastRead;
    DWORD lastReadOffset;
    KnownLayout known; // under positionLock, as the position
    EvtxImage evtx;    // an .evtx log's classic image, under positionLock
};

// A handle on the log called name (asSource false: OpenEventLogA) or on the log that holds the
// source called name (RegisterEventSourceA); null with the last error set.
HANDLE OpenLog(const char* server, const char* name, bool asSource);

// CloseEventLog and DeregisterEventSource alike.
BOOL CloseLog(HANDLE handle);

// The log behind handle, with a reference taken; null with ERROR_INVALID_HANDLE set.
EventLogHandle* AcquireLog(HANDLE handle);

struct LogReleaser {
    void operator()(EventLogHandle* log) const { HandleObjectRelease(&log->header); }
};
using ScopedLog = ScopedResource<EventLogHandle*, LogReleaser>;

// Holds the handle's read position.
class PositionLock {
  public:
    explicit PositionLock(EventLogHandle* log) : log_(log) {
        pthread_mutex_lock(&log_->positionLock);
    }
    ~PositionLock() { pthread_mutex_unlock(&log_->positionLock); }
    PositionLock(const PositionLock&) = delete;
    PositionLock& operator=(const PositionLock&) = delete;

  private:
    EventLogHandle* log_;
};

// A file descriptor, -1 for none (the shared holder takes 0 for empty, a valid descriptor).
class ScopedDescriptor {
  public:
    explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~ScopedDescriptor();
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    int get() const { return descriptor_; }
    // Gives the descriptor up without closing it.
    int release() {
        int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor;
    }

  private:
    int descriptor_;
};

// Locks the whole log file open on descriptor, shared (F_RDLCK) or alone (F_WRLCK), waiting for
// the lock; ERROR_SUCCESS, or the error of a lock that could not be taken.
DWORD LockLogFile(int descriptor, short kind);
