#include "Platform/Posix/advapi32/EventLogHandles.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/FileShares.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr const char* kEventLogKey = "System\\CurrentControlSet\\Services\\EventLog";
constexpr const char* kDefaultLog = "Application";
// Marks a live event log object; cleared when it is destroyed, so that a stale pointer is told.
constexpr DWORD kEventLogSignature = 0x676f4c45; // "ELog"

struct KeyReleaser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using ScopedKey = ScopedResource<HKEY, KeyReleaser>;

void DestroyEventLog(HandleObject* object) {
    EventLogHandle* log = reinterpret_cast<EventLogHandle*>(object);
    log->signature = 0;
    EvtxReleaseImage(&log->evtx);
    pthread_mutex_destroy(&log->positionLock);
    free(log);
}

bool CopyName(const char* name, char* out) {
    size_t length = strlen(name);
    if (length >= kMaxLogName) {
        return false;
    }
    memcpy(out, name, length + 1);
    return true;
}

// A DWORD of the log's key, or fallback where the key holds none of that name and type. A read
// that fails otherwise is the caller's failure: a log opened with a size or retention it does
// not have would be written as another log.
DWORD QueryDword(HKEY key, const char* name, DWORD fallback, DWORD* value) {
    DWORD type = 0;
    DWORD size = sizeof *value;
    LONG status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof *value) {
        return ERROR_SUCCESS;
    }
    *value = fallback;
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA
               ? ERROR_SUCCESS
               : static_cast<DWORD>(status);
}

// A DOS path with its environment variables expanded, as a Unix path.
bool ExpandedUnixPath(const char* file, char* unixPath) {
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

// Where a log whose key names no file keeps its records: since Vista, the channel's .evtx of the
// same name (Internet Explorer, Key Management Service and Windows PowerShell have no File value);
// before, config\<name>.evt.
bool DefaultLogFilePath(const char* logName, char* unixPath) {
    char file[MAX_PATH * 2];
    snprintf(file, sizeof file, "%%SystemRoot%%\\system32\\winevt\\Logs\\%s.evtx", logName);
    DWORD saved = GetLastError();
    struct stat info;
    if (ExpandedUnixPath(file, unixPath) && stat(unixPath, &info) == 0) {
        return true;
    }
    SetLastError(saved);
    snprintf(file, sizeof file, "%%SystemRoot%%\\system32\\config\\%s.evt", logName);
    return ExpandedUnixPath(file, unixPath);
}

// The log's file as the key's File value names it, environment variables expanded; the default
// file of the log where the key names none.
bool LogFilePath(HKEY logKey, const char* logName, char* unixPath) {
    char file[MAX_PATH * 2] = "";
    DWORD type = 0;
    DWORD size = sizeof file - 1;
    LONG status = logKey == nullptr ? ERROR_FILE_NOT_FOUND
                                    : RegQueryValueExA(logKey, "File", nullptr, &type,
                                                       reinterpret_cast<BYTE*>(file), &size);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA) {
        return FailWith(static_cast<DWORD>(status));
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || file[0] == '\0') {
        return DefaultLogFilePath(logName, unixPath);
    }
    file[sizeof file - 1] = '\0';
    return ExpandedUnixPath(file, unixPath);
}

// The service keeps keys of its own beside the logs (Parameters with its ServiceDll, State with
// the last computer name), which are no logs. A log's key has sources, holds no value yet, or
// holds one of the values the service reads for a log: those Windows documents, and those real
// machines keep besides. ERROR_SUCCESS for a log's key, ERROR_FILE_NOT_FOUND for another, else
// the error of a read that failed.
DWORD IsLogKey(HKEY key) {
    static constexpr const char* kLogValues[] = {
        "AutoBackupLogFiles",  "CustomSD", "DisplayNameFile", "DisplayNameID", "File",
        "Isolation",           "MaxSize",  "MaxSizeUpper",    "PrimaryModule", "Retention",
        "RestrictGuestAccess", "Security", "Sources"};
    DWORD subkeys = 0, values = 0;
    LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS || subkeys > 0 || values == 0) {
        return static_cast<DWORD>(status);
    }
    for (const char* value : kLogValues) {
        status = RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_FILE_NOT_FOUND) {
            return static_cast<DWORD>(status);
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

// The EventLog key's log called name into logName: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when it
// has none, else the error of a read that failed.
DWORD FindLog(HKEY root, const char* name, char* logName) {
    if (name[0] == '\0' || strchr(name, '\\') != nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    ScopedKey key;
    LONG status = RegOpenKeyExA(root, name, 0, KEY_READ, key.receive());
    DWORD found = status == ERROR_SUCCESS ? IsLogKey(key.get()) : static_cast<DWORD>(status);
    if (found == ERROR_SUCCESS && !CopyName(name, logName)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return found;
}

// The log that holds the source called source: the one whose key holds the source's key.
DWORD FindSourceLog(HKEY root, const char* source, char* logName) {
    if (strchr(source, '\\') != nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    char candidate[kMaxLogName];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof candidate;
        LONG status =
            RegEnumKeyExA(root, index, candidate, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            return status == ERROR_NO_MORE_ITEMS ? ERROR_FILE_NOT_FOUND
                                                 : static_cast<DWORD>(status);
        }
        ScopedKey logKey;
        ScopedKey sourceKey;
        status = RegOpenKeyExA(root, candidate, 0, KEY_READ, logKey.receive());
        if (status == ERROR_SUCCESS) {
            status = RegOpenKeyExA(logKey.get(), source, 0, KEY_READ, sourceKey.receive());
        }
        if (status == ERROR_SUCCESS) {
            memcpy(logName, candidate, length + 1);
            return ERROR_SUCCESS;
        }
        // A log deleted since the enumeration saw it holds no source.
        if (status != ERROR_FILE_NOT_FOUND) {
            return static_cast<DWORD>(status);
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

} // namespace

HANDLE OpenLog(const char* server, const char* name, bool asSource) {
    if (name == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsLocalServer(server)) {
        FailWith(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    EventLogHandle* log = static_cast<EventLogHandle*>(LayerCalloc(1, sizeof(EventLogHandle)));
    if (log == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleObjectInit(&log->header, HandleKind::EventLog, DestroyEventLog);
    pthread_mutex_init(&log->positionLock, nullptr);
    log->signature = kEventLogSignature;
    log->evtx.descriptor = -1;
    ScopedLog holder(log);
    if (!CopyName(name, log->sourceName)) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A name the EventLog key does not know opens the Application log, as Windows opens it; a
    // read of the key that fails otherwise fails the call, rather than open another log.
    ScopedKey root;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventLogKey, 0, KEY_READ, root.receive());
    DWORD found = status != ERROR_SUCCESS ? static_cast<DWORD>(status)
                  : asSource              ? FindSourceLog(root.get(), name, log->logName)
                                          : FindLog(root.get(), name, log->logName);
    if (found == ERROR_FILE_NOT_FOUND) {
        CopyName(kDefaultLog, log->logName);
    } else if (found != ERROR_SUCCESS) {
        FailWith(found);
        return nullptr;
    }
    ScopedKey logKey;
    status = root.held() ? RegOpenKeyExA(root.get(), log->logName, 0, KEY_READ, logKey.receive())
                         : ERROR_FILE_NOT_FOUND;
    DWORD error = status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
    log->maxSize = kEvtDefaultMaxSize;
    log->retention = 0;
    if (error == ERROR_SUCCESS && logKey.held()) {
        error = QueryDword(logKey.get(), "MaxSize", kEvtDefaultMaxSize, &log->maxSize);
    }
    if (error == ERROR_SUCCESS && logKey.held()) {
        error = QueryDword(logKey.get(), "Retention", 0, &log->retention);
    }
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return nullptr;
    }
    if (!LogFilePath(logKey.get(), log->logName, log->path)) {
        return nullptr;
    }
    return HandleInsert(&holder.release()->header);
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

BOOL CloseLog(HANDLE handle) {
    EventLogHandle* log = AcquireLog(handle);
    if (log == nullptr) {
        return FALSE;
    }
    HandleObjectRelease(&log->header);
    return HandleClose(handle, HandleKind::EventLog);
}

ScopedDescriptor::~ScopedDescriptor() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

// Another process or thread may append at any time: readers share the file, writers hold it
// alone. Locks of the open file description, not of the process: a process's classic record locks
// neither keep its own threads apart nor survive the close of any other descriptor it has on the
// file.
DWORD LockLogFile(int descriptor, short kind) {
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
