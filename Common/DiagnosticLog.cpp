#include "Common/DiagnosticLog.h"

#include "Common/Allocation.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

DiagnosticLogState DiagnosticLog = {
    nullptr, nullptr, {}, false, kLogInfo, kLogInfo, "", "", 0, 0, kLogDefaultSizeLimit};

namespace {

// Guarded by logLock, like the record fields: one record is built at a time.
char g_recordBuffer[kLogRecordBufferSize];

// The head and the trailer share what the message room leaves; capping the two names keeps both
// inside that share whatever a logging site passes.
constexpr size_t kHeadRoom = 256;
constexpr int kMaxFunctionName = 200;
constexpr int kMaxSourceName = 150;

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* SourceBaseName(const char* source) {
    const char* slash = strrchr(source, '\\');
    return slash != nullptr ? slash + 1 : source;
}

// snprintf that reports what it really wrote, never more than the room it was given.
size_t AppendFormatted(char* out, size_t room, const char* format, ...) PALLWICK_PRINTF_LIKE(3, 4);
size_t AppendFormatted(char* out, size_t room, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int wanted = vsnprintf(out, room, format, args);
    va_end(args);
    if (wanted < 0 || room == 0) {
        if (room > 0) {
            out[0] = '\0';
        }
        return 0;
    }
    return static_cast<size_t>(wanted) < room ? static_cast<size_t>(wanted) : room - 1;
}

// Other processes that load the library append to the same file, and logLock is this process's
// own. A handle that may only append writes each record at the end of the file as one step,
// whatever another process wrote meanwhile: the system keeps concurrent appends apart, so no
// record overlays another and no lock is taken per record. Such a handle may also flush: the
// system asks for write or append access. Every handle shares deletion, so that whichever process
// finds the log full can move it to the backup while the others still hold it.
HANDLE OpenForAppend(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    return file;
}

// Guarded by logLock. After an attempt that could not rotate (the move refused, the log's path not
// opened), the rest of that run of size-checking records writes on without trying again: a cause
// that refuses one attempt mostly refuses the next, and each costs several system calls.
bool g_rotationDeferred = false;
uint16_t g_deferredRun = 0;
// Guarded by logLock: tells apart the names an old backup is moved aside to.
unsigned g_asideCount = 0;

bool RotationDeferred() {
    uint16_t run = static_cast<uint16_t>(DiagnosticLog.recordCounter >> 8);
    if (g_rotationDeferred && run == g_deferredRun) {
        return true;
    }
    g_rotationDeferred = false;
    return false;
}

void DeferRotation() {
    g_rotationDeferred = true;
    g_deferredRun = static_cast<uint16_t>(DiagnosticLog.recordCounter >> 8);
}

bool IsFull() {
    return GetFileSize(DiagnosticLog.logFile, nullptr) >= DiagnosticLog.sizeLimit &&
           DiagnosticLog.logPath != nullptr;
}

bool RotationLock(HANDLE file, bool lock) {
    OVERLAPPED at = {};
    at.Offset = kLogRotationLockOffset;
    at.OffsetHigh = kLogRotationLockOffsetHigh;
    return lock ? LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &at) != FALSE
                : UnlockFileEx(file, 0, 1, 0, &at) != FALSE;
}

enum class PathHolds { HeldFile, OtherFile, Unknown };

// Opens the log's path and tells whether it names the file held: the same volume and index there.
// Another file stays open in *other.
PathHolds OpenLogPath(HANDLE held, HANDLE* other) {
    HANDLE current = OpenForAppend(DiagnosticLog.logPath);
    if (current == nullptr) {
        return PathHolds::Unknown;
    }
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    if (!GetFileInformationByHandle(held, &mine) || !GetFileInformationByHandle(current, &theirs)) {
        CloseHandle(current);
        return PathHolds::Unknown;
    }
    if (mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
        mine.nFileIndexHigh == theirs.nFileIndexHigh &&
        mine.nFileIndexLow == theirs.nFileIndexLow) {
        CloseHandle(current);
        return PathHolds::HeldFile;
    }
    *other = current;
    return PathHolds::OtherFile;
}

// Keeps one backup generation: the full log becomes ".BAK" and a fresh file takes its place.
// Deleting a file that another process still holds leaves its name taken until that process lets
// go (on Windows before 10 1903, and under Wine), so the old backup is first moved aside to a name
// of its own and deleted there. A process that still writes into it loses those records until its
// next size-checking record finds the file full and follows the log. A refused move puts the old
// backup back. Should the fresh file not open, the records go on into the backup until a later
// check opens it.
bool MoveToBackup() {
    char backupPath[1023 + sizeof(".BAK")];
    snprintf(backupPath, sizeof backupPath, "%.1023s.BAK", DiagnosticLog.logPath);
    char asidePath[sizeof backupPath + 32];
    snprintf(asidePath, sizeof asidePath, "%s.%X.%X.%X", backupPath,
             static_cast<unsigned>(GetCurrentThreadId()), static_cast<unsigned>(GetTickCount()),
             ++g_asideCount);
    bool aside = MoveFileA(backupPath, asidePath) != FALSE;
    if (!MoveFileA(DiagnosticLog.logPath, backupPath)) {
        if (aside) {
            MoveFileA(asidePath, backupPath);
        }
        return false;
    }
    if (aside) {
        DeleteFileA(asidePath);
    }
    HANDLE fresh = OpenForAppend(DiagnosticLog.logPath);
    if (fresh == nullptr) {
        return false;
    }
    DiagnosticLog.logFile.store(fresh);
    return true;
}

// The handle's file is full. Another file at the log's path means another process rotated it:
// this one follows. Else the processes that share the log take turns at rotating it through its
// rotation lock, and none waits for it: a process that another holds up (suspended, in a debugger)
// must not hold up this one's records, nor every export with them. Once the lock is held, the path
// is looked at again, since another process may have rotated the file meanwhile; if it still
// names the file, no other process moves it until the lock is let go.
void RotateOrFollow() {
    HANDLE held = DiagnosticLog.logFile;
    HANDLE other = nullptr;
    PathHolds path = OpenLogPath(held, &other);
    bool locked = false;
    if (path == PathHolds::HeldFile) {
        locked = RotationLock(held, true);
        if (!locked) {
            return; // another process rotates it now: the next checking record tries again
        }
        path = OpenLogPath(held, &other);
    }
    bool done = false;
    if (path == PathHolds::OtherFile) {
        DiagnosticLog.logFile.store(other);
        done = true;
    } else if (path == PathHolds::HeldFile) {
        done = MoveToBackup();
    }
    if (!done) {
        DeferRotation();
    }
    if (locked) {
        RotationLock(held, false);
    }
    if (held != DiagnosticLog.logFile) {
        CloseHandle(held);
    }
}

size_t FormatRecordHead(char* out) {
    size_t length =
        AppendFormatted(out, kHeadRoom, "~%.*s(): %X: ", kMaxFunctionName,
                        DiagnosticLog.recordFunction, static_cast<unsigned>(GetCurrentThreadId()));
    const char* marker = DiagnosticLog.recordLevel == kLogError ? "*****: " : "";
    length += AppendFormatted(out + length, kHeadRoom - length, "Line: %u: %s",
                              static_cast<unsigned>(DiagnosticLog.recordLine), marker);
    return length;
}

size_t FormatRecordTrailer(char* out, size_t room) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const char* month = now.wMonth >= 1 && now.wMonth <= 12 ? kMonthNames[now.wMonth - 1] : "???";
    return AppendFormatted(out, room, "$$<%.*s><x %s %02d %02d:%02d:%02d.%03d %04d><thread=%d>\r\n",
                           kMaxSourceName, SourceBaseName(DiagnosticLog.recordSource), month,
                           static_cast<int>(now.wDay), static_cast<int>(now.wHour),
                           static_cast<int>(now.wMinute), static_cast<int>(now.wSecond),
                           static_cast<int>(now.wMilliseconds), static_cast<int>(now.wYear),
                           static_cast<int>(DiagnosticLog.recordLevel));
}

// Head, message cut at the message room, trailer: never more than the buffer holds.
size_t FormatRecord(const char* format, va_list args) PALLWICK_PRINTF_LIKE(1, 0);
size_t FormatRecord(const char* format, va_list args) {
    size_t length = FormatRecordHead(g_recordBuffer);
    int wanted = vsnprintf(g_recordBuffer + length, kLogMessageRoom + 1, format, args);
    if (wanted > 0) {
        length += static_cast<size_t>(wanted) < kLogMessageRoom ? static_cast<size_t>(wanted)
                                                                : kLogMessageRoom;
    }
    length += FormatRecordTrailer(g_recordBuffer + length, sizeof g_recordBuffer - length);
    return length;
}

void WriteLogRecordV(const char* format, va_list args) PALLWICK_PRINTF_LIKE(1, 0);
void WriteLogRecordV(const char* format, va_list args) {
    // Writing a record must not disturb the error code that the logging site may report next.
    DWORD lastError = GetLastError();
    if (DiagnosticLog.logFile != nullptr) {
        DiagnosticLog.recordCounter = static_cast<uint16_t>(DiagnosticLog.recordCounter + 1);
        if ((DiagnosticLog.recordCounter & 0x80) != 0 && !RotationDeferred() && IsFull()) {
            RotateOrFollow();
        }
        size_t length = FormatRecord(format, args);
        HANDLE file = DiagnosticLog.logFile;
        if (file != nullptr) {
            DWORD written = 0;
            SetFilePointer(file, 0, nullptr, FILE_END);
            WriteFile(file, g_recordBuffer, static_cast<DWORD>(length), &written, nullptr);
            if (DiagnosticLog.threshold == 0) {
                FlushFileBuffers(file);
            }
        }
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
    SetLastError(lastError);
}

// Stores the record fields; the caller has entered logLock.
void SetRecordFields(int32_t level, const char* source, const char* function, uint32_t line) {
    DiagnosticLog.recordLevel = level;
    DiagnosticLog.recordSource = source != nullptr ? source : "";
    DiagnosticLog.recordFunction = function != nullptr ? function : "";
    DiagnosticLog.recordLine = line;
}

} // namespace

void TrimLineBreak(char* text) {
    size_t length = strlen(text);
    for (int removed = 0; removed < 2 && length > 0; ++removed) {
        if (text[length - 1] != '\r' && text[length - 1] != '\n') {
            break;
        }
        text[--length] = '\0';
    }
}

void WriteLogRecord(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLogRecordV(format, args);
    va_end(args);
}

void LogMessage(int32_t level, const char* source, const char* function, uint32_t line,
                const char* format, ...) {
    // A log that was never started has no lock to take: there is nothing to write to either.
    if (DiagnosticLog.threshold > level || !DiagnosticLog.lockInitialised) {
        return;
    }
    EnterCriticalSection(&DiagnosticLog.logLock);
    SetRecordFields(level, source, function, line);
    va_list args;
    va_start(args, format);
    WriteLogRecordV(format, args);
    va_end(args);
}

void LogAssertFailure(const char* source, const char* function, uint32_t line,
                      const char* condition) {
    LogMessage(kLogError, source, function, line, "Assert failed: %s", condition);
    if (!DiagnosticLog.lockInitialised) {
        return;
    }
    // Under the lock, so that a rotation cannot close the handle while it is flushed.
    EnterCriticalSection(&DiagnosticLog.logLock);
    if (DiagnosticLog.logFile != nullptr) {
        FlushFileBuffers(DiagnosticLog.logFile);
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
}

void LogLastSystemError(const char* source, const char* function, uint32_t line) {
    if (DiagnosticLog.logFile.load() == nullptr) {
        return;
    }
    DWORD code = GetLastError();
    char text[2048];
    // Inserts are ignored: a system text with %1 in it and no arguments would otherwise fail, or
    // read arguments that were never passed.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    text[length < sizeof text ? length : 0] = '\0';
    TrimLineBreak(text);
    EnterCriticalSection(&DiagnosticLog.logLock);
    SetRecordFields(kLogError, source, function, line);
    WriteLogRecord("System code: %d: %s", static_cast<int>(code), text);
}

void InitialiseLogLock() {
    if (!DiagnosticLog.lockInitialised) {
        InitializeCriticalSection(&DiagnosticLog.logLock);
        DiagnosticLog.lockInitialised = true;
    }
}

void OpenLogFile(const char* path) {
    InitialiseLogLock();
    EnterCriticalSection(&DiagnosticLog.logLock);
    if (DiagnosticLog.logFile != nullptr) {
        CloseHandle(DiagnosticLog.logFile);
        DiagnosticLog.logFile.store(nullptr);
    }
    g_rotationDeferred = false;
    LibraryFree(DiagnosticLog.logPath);
    DiagnosticLog.logPath = path != nullptr ? LibraryStrdup(path) : nullptr;
    if (path != nullptr) {
        DiagnosticLog.logFile.store(OpenForAppend(path));
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
}

void CloseLogFile() {
    if (!DiagnosticLog.lockInitialised) {
        return;
    }
    EnterCriticalSection(&DiagnosticLog.logLock);
    if (DiagnosticLog.logFile != nullptr) {
        CloseHandle(DiagnosticLog.logFile);
        DiagnosticLog.logFile.store(nullptr);
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
}
