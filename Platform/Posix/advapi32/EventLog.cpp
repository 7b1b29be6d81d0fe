#include "Platform/Posix/advapi32/EventLog.h"

#include "Platform/Posix/advapi32/AccountSids.h"
#include "Platform/Posix/advapi32/EventLogFile.h"
#include "Platform/Posix/advapi32/EventLogTestHooks.h"
#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/FileShares.h"

#include "Common/ScopedResource.h"

#include <atomic>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr const char* kEventLogKey = "System\\CurrentControlSet\\Services\\EventLog";
constexpr const char* kDefaultLog = "Application";
// Registry key names are at most 255 characters.
constexpr size_t kMaxName = 256;
// Marks a live event log object; cleared when it is destroyed, so that a stale pointer is told.
constexpr DWORD kEventLogSignature = 0x676f4c45; // "ELog"

std::atomic<bool> g_leaveDirty{false};

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
    char logName[kMaxName];
    char sourceName[kMaxName];
    char path[kPathCapacity];
    DWORD maxSize;
    DWORD retention;
    // The sequential read position: the record read last (0 before the first read) and where
    // it stood, so that the next read need not walk the log from its oldest record.
    pthread_mutex_t positionLock;
    DWORD lastRead;
    DWORD lastReadOffset;
    KnownLayout known; // under positionLock, as the position
};

void DestroyEventLog(HandleObject* object) {
    EventLogHandle* log = reinterpret_cast<EventLogHandle*>(object);
    log->signature = 0;
    pthread_mutex_destroy(&log->positionLock);
    free(log);
}

EventLogHandle* AcquireLog(HANDLE handle) {
    EventLogHandle* log = HandleAcquireAs<EventLogHandle>(handle, HandleKind::EventLog);
    if (log != nullptr && log->signature != kEventLogSignature) {
        HandleObjectRelease(&log->header);
        FailWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return log;
}

struct LogReleaser {
    void operator()(EventLogHandle* log) const { HandleObjectRelease(&log->header); }
};
using ScopedLog = ScopedResource<EventLogHandle*, LogReleaser>;

// A file descriptor, -1 for none (the shared holder takes 0 for empty, a valid descriptor).
class ScopedDescriptor {
  public:
    explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~ScopedDescriptor() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    int get() const { return descriptor_; }

  private:
    int descriptor_;
};

struct PositionLock {
    explicit PositionLock(EventLogHandle* log) : log_(log) {
        pthread_mutex_lock(&log_->positionLock);
    }
    ~PositionLock() { pthread_mutex_unlock(&log_->positionLock); }
    PositionLock(const PositionLock&) = delete;
    PositionLock& operator=(const PositionLock&) = delete;
    EventLogHandle* log_;
};

// Another process or thread may append at any time: readers share the file, writers hold it
// alone. Locks of the open file description, not of the process: a process's classic record locks
// neither keep its own threads apart nor survive the close of any other descriptor it has on the
// file.
DWORD LockFile(int descriptor, short kind) {
    struct flock whole = {};
    whole.l_type = kind;
    whole.l_whence = SEEK_SET;
    // Everything below the share marks of the file's handles (FileShares.h): a lock over those
    // would wait for every handle open on the file, and make them look like refusals.
    whole.l_len = kShareMarkBase;
    while (fcntl(descriptor, F_OFD_SETLKW, &whole) != 0) {
        if (errno != EINTR) {
            return Win32ErrorFromErrno(errno);
        }
    }
    return ERROR_SUCCESS;
}

bool CopyName(const char* name, char* out) {
    size_t length = strlen(name);
    if (length >= kMaxName) {
        return false;
    }
    memcpy(out, name, length + 1);
    return true;
}

DWORD QueryDword(HKEY key, const char* name, DWORD fallback) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return fallback;
    }
    return value;
}

// The log's file as the key's File value names it, environment variables expanded.
bool LogFilePath(HKEY logKey, const char* logName, char* unixPath) {
    char file[MAX_PATH * 2] = "";
    DWORD type = 0;
    DWORD size = sizeof file - 1;
    if (logKey == nullptr ||
        RegQueryValueExA(logKey, "File", nullptr, &type, reinterpret_cast<BYTE*>(file), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || file[0] == '\0') {
        snprintf(file, sizeof file, "%%SystemRoot%%\\system32\\config\\%s.evt", logName);
    }
    file[sizeof file - 1] = '\0';
    char expanded[kPathCapacity];
    DWORD length = ExpandEnvironmentStringsA(file, expanded, sizeof expanded);
    if (length == 0 || length > sizeof expanded) {
        if (length > sizeof expanded) {
            FailWith(ERROR_FILENAME_EXCED_RANGE);
        }
        return false;
    }
    return DosPathToUnix(expanded, unixPath, kPathCapacity);
}

// The service keeps keys of its own beside the logs (Parameters with its ServiceDll, State with
// the last computer name), which are no logs. A log's key has sources, holds no value yet, or
// holds one of the values the service reads for a log: those Windows documents, and those real
// machines keep besides.
bool IsLogKey(HKEY key) {
    static constexpr const char* kLogValues[] = {
        "AutoBackupLogFiles",  "CustomSD", "DisplayNameFile", "DisplayNameID", "File",
        "Isolation",           "MaxSize",  "MaxSizeUpper",    "PrimaryModule", "Retention",
        "RestrictGuestAccess", "Security", "Sources"};
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys > 0 || values == 0) {
        return true;
    }
    for (const char* value : kLogValues) {
        if (RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            return true;
        }
    }
    return false;
}

// Whether the EventLog key has a log called name; a source's log is the one holding its key.
bool HasLog(HKEY root, const char* name) {
    ScopedRegKey key;
    return name[0] != '\0' && strchr(name, '\\') == nullptr &&
           RegOpenKeyExA(root, name, 0, KEY_READ, key.receive()) == ERROR_SUCCESS &&
           IsLogKey(key.get());
}

bool FindSourceLog(HKEY root, const char* source, char* logName) {
    char candidate[kMaxName];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof candidate;
        if (RegEnumKeyExA(root, index, candidate, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return false;
        }
        ScopedRegKey logKey;
        ScopedRegKey sourceKey;
        if (RegOpenKeyExA(root, candidate, 0, KEY_READ, logKey.receive()) == ERROR_SUCCESS &&
            strchr(source, '\\') == nullptr &&
            RegOpenKeyExA(logKey.get(), source, 0, KEY_READ, sourceKey.receive()) ==
                ERROR_SUCCESS) {
            memcpy(logName, candidate, length + 1);
            return true;
        }
    }
}

bool IsLocalServer(const char* server) {
    if (server == nullptr || server[0] == '\0') {
        return true;
    }
    while (*server == '\\') {
        ++server;
    }
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) && strcasecmp(name, server) == 0;
}

// A handle on the log that holds name (OpenEventLogA) or the source called name.
HANDLE OpenLog(const char* server, const char* name, bool asSource) {
    if (name == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsLocalServer(server)) {
        FailWith(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    EventLogHandle* log = static_cast<EventLogHandle*>(calloc(1, sizeof(EventLogHandle)));
    if (log == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleObjectInit(&log->header, HandleKind::EventLog, DestroyEventLog);
    pthread_mutex_init(&log->positionLock, nullptr);
    log->signature = kEventLogSignature;
    ScopedLog holder(log);
    if (!CopyName(name, log->sourceName)) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ScopedRegKey root;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventLogKey, 0, KEY_READ, root.receive());
    bool known =
        root.held() && (asSource ? FindSourceLog(root.get(), name, log->logName)
                                 : HasLog(root.get(), name) && CopyName(name, log->logName));
    if (!known) {
        // Windows opens the Application log for a name it does not know.
        CopyName(kDefaultLog, log->logName);
    }
    ScopedRegKey logKey;
    if (root.held()) {
        RegOpenKeyExA(root.get(), log->logName, 0, KEY_READ, logKey.receive());
    }
    log->maxSize = logKey.held() ? QueryDword(logKey.get(), "MaxSize", kEvtDefaultMaxSize)
                                 : kEvtDefaultMaxSize;
    log->retention = logKey.held() ? QueryDword(logKey.get(), "Retention", 0) : 0;
    if (!LogFilePath(logKey.get(), log->logName, log->path)) {
        return nullptr;
    }
    return HandleInsert(&holder.release()->header);
}

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
// layout of the last read, which the caller holds the position lock for.
DWORD OpenForReading(const EventLogHandle* log, KnownLayout* known, int* descriptor,
                     EvtLayout* layout) {
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
    DWORD error = LockFile(*descriptor, F_RDLCK);
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

bool ReadFlagsValid(DWORD flags) {
    DWORD how = flags & (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ);
    DWORD way = flags & (EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ);
    return (how == EVENTLOG_SEQUENTIAL_READ || how == EVENTLOG_SEEK_READ) &&
           (way == EVENTLOG_FORWARDS_READ || way == EVENTLOG_BACKWARDS_READ) &&
           (flags & ~(how | way)) == 0;
}

// Whether the record read last still stands where it stood.
bool IsRecordAt(int descriptor, const EvtLayout& layout, const EventLogHandle* log) {
    std::string record;
    return EvtReadRecord(descriptor, layout, log->lastReadOffset, &record) == ERROR_SUCCESS &&
           reinterpret_cast<const EVENTLOGRECORD*>(record.data())->RecordNumber == log->lastRead;
}

DWORD ReadLocked(EventLogHandle* log, DWORD flags, DWORD seekTo, BYTE* buffer, DWORD capacity,
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
    DWORD error = LockFile(*descriptor, F_WRLCK);
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

bool ReportArgumentsValid(PSID sid, WORD stringCount, LPCSTR* strings, DWORD dataSize,
                          LPVOID data) {
    if (sid != nullptr && !IsValidSid(sid)) {
        FailWith(ERROR_INVALID_SID);
        return false;
    }
    if (stringCount != 0 && strings == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (WORD i = 0; i < stringCount; ++i) {
        if (strings[i] == nullptr) {
            FailWith(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    if (dataSize != 0 && data == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

BOOL CloseLog(HANDLE handle) {
    EventLogHandle* log = AcquireLog(handle);
    if (log == nullptr) {
        return FALSE;
    }
    HandleObjectRelease(&log->header);
    return HandleClose(handle, HandleKind::EventLog);
}

} // namespace

void EventLogLeaveDirtyForTests(bool leaveDirty) {
    g_leaveDirty = leaveDirty;
}

HANDLE WINAPI OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    if (!FaultAllows(LayerCall::OpenEventLogA)) {
        return nullptr;
    }
    return OpenLog(lpUNCServerName, lpSourceName, false);
}

HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    if (!FaultAllows(LayerCall::RegisterEventSourceA)) {
        return nullptr;
    }
    return OpenLog(lpUNCServerName, lpSourceName, true);
}

BOOL WINAPI CloseEventLog(HANDLE hEventLog) {
    return CloseLog(hEventLog);
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
    return CloseLog(hEventLog);
}

BOOL WINAPI ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset,
                          LPVOID lpBuffer, DWORD nNumberOfBytesToRead, DWORD* pnBytesRead,
                          DWORD* pnMinNumberOfBytesNeeded) {
    if (!FaultAllows(LayerCall::ReadEventLogA)) {
        return FALSE;
    }
    // Windows refuses a missing buffer, even of no bytes, before it looks at the handle; the
    // counts are written only for a read or a size to ask for.
    if (pnBytesRead == nullptr || pnMinNumberOfBytesNeeded == nullptr || lpBuffer == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held()) {
        return FALSE;
    }
    if (!ReadFlagsValid(dwReadFlags)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    PositionLock position(log.get());
    DWORD error = ReadLocked(log.get(), dwReadFlags, dwRecordOffset, static_cast<BYTE*>(lpBuffer),
                             nNumberOfBytesToRead, pnBytesRead, pnMinNumberOfBytesNeeded);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

namespace {

// What GetNumberOfEventLogRecords and GetOldestEventLogRecord read.
BOOL ReadLayout(HANDLE handle, PDWORD result, EvtLayout* layout) {
    if (result == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    ScopedLog log(AcquireLog(handle));
    if (!log.held()) {
        return FALSE;
    }
    int raw = -1;
    DWORD error = OpenForReading(log.get(), nullptr, &raw, layout);
    ScopedDescriptor descriptor(raw);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // namespace

BOOL WINAPI GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords) {
    if (!FaultAllows(LayerCall::GetNumberOfEventLogRecords)) {
        return FALSE;
    }
    EvtLayout layout;
    if (!ReadLayout(hEventLog, NumberOfRecords, &layout)) {
        return FALSE;
    }
    *NumberOfRecords = EvtRecordCount(layout);
    return TRUE;
}

BOOL WINAPI GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord) {
    if (!FaultAllows(LayerCall::GetOldestEventLogRecord)) {
        return FALSE;
    }
    EvtLayout layout;
    if (!ReadLayout(hEventLog, OldestRecord, &layout)) {
        return FALSE;
    }
    *OldestRecord = layout.oldest;
    return TRUE;
}

namespace {

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

} // namespace

BOOL WINAPI ClearEventLogA(HANDLE hEventLog, LPCSTR lpBackupFileName) {
    if (!FaultAllows(LayerCall::ClearEventLogA)) {
        return FALSE;
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held()) {
        return FALSE;
    }
    int raw = -1;
    EvtLayout layout;
    DWORD error = OpenForAppending(log.get(), &raw, &layout);
    ScopedDescriptor descriptor(raw);
    if (error == ERROR_SUCCESS && lpBackupFileName != nullptr && lpBackupFileName[0] != '\0') {
        error = BackUp(descriptor.get(), lpBackupFileName);
    }
    if (error == ERROR_SUCCESS) {
        error = EvtClear(descriptor.get(), &layout);
    }
    if (error == ERROR_SUCCESS) {
        PositionLock position(log.get());
        log.get()->lastRead = 0;
        log.get()->lastReadOffset = 0;
    }
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings,
                         LPVOID lpRawData) {
    if (!FaultAllows(LayerCall::ReportEventA)) {
        return FALSE;
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held() ||
        !ReportArgumentsValid(lpUserSid, wNumStrings, lpStrings, dwDataSize, lpRawData)) {
        return FALSE;
    }
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerSize = sizeof computer;
    if (!GetComputerNameA(computer, &computerSize)) {
        return FALSE;
    }
    int raw = -1;
    EvtLayout layout;
    DWORD error = OpenForAppending(log.get(), &raw, &layout);
    ScopedDescriptor descriptor(raw);
    if (error != ERROR_SUCCESS) {
        return FailWith(error);
    }
    DWORD now = CurrentTime();
    EvtNewRecord parts = {layout.next,
                          now,
                          now,
                          dwEventID,
                          wType,
                          wCategory,
                          log.get()->sourceName,
                          computer,
                          lpUserSid,
                          lpUserSid != nullptr ? GetLengthSid(lpUserSid) : 0,
                          wNumStrings,
                          lpStrings,
                          lpRawData,
                          dwDataSize};
    error = EvtAppend(descriptor.get(), &layout, EvtBuildRecord(parts), now, g_leaveDirty);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}
