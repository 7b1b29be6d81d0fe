#include "Common/DiagnosticLog.h"

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

// The rotation replaces the handle under the lock while LogLastSystemError peeks at it without
// the lock; atomic accesses keep that peek from being a data race.
HANDLE LoadLogFile() {
    return __atomic_load_n(&DiagnosticLog.logFile, __ATOMIC_ACQUIRE);
}
void StoreLogFile(HANDLE file) {
    __atomic_store_n(&DiagnosticLog.logFile, file, __ATOMIC_RELEASE);
}

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
    return (size_t)wanted < room ? (size_t)wanted : room - 1;
}

// Other processes that load the library append to the same file, and logLock is this process's
// own. A handle that may only append writes each record at the end of the file as one step,
// whatever another process wrote meanwhile: the system keeps concurrent appends apart, so no
// record overlays another and no lock is taken per record.
HANDLE OpenForAppend(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    return file;
}

// A byte-range lock far past any size the log reaches lets one process at a time close its
// handle and move the log. Should it fail, the rotation goes ahead all the same: the log never
// withholds a record for want of a lock.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kRotationLock = 1;

bool LockLogByte(HANDLE file, DWORD byte) {
    OVERLAPPED at = {};
    at.Offset = byte;
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != FALSE;
}

void UnlockLogByte(HANDLE file, DWORD byte) {
    OVERLAPPED at = {};
    at.Offset = byte;
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(file, 0, 1, 0, &at);
}

bool IsFull() {
    return GetFileSize(DiagnosticLog.logFile, nullptr) >= DiagnosticLog.sizeLimit &&
           DiagnosticLog.logPath != nullptr;
}

// A second handle on the full log, holding its rotation lock while the writing handle is closed
// for the move. It shares deletion, so that it does not stand in the way of the move itself.
// While one process holds it, every other process keeps its own handle open, so the move can only
// happen when no other process has the log open: a process never goes on writing into a file
// that became the backup.
HANDLE HoldForRotation() {
    HANDLE holder = CreateFileA(DiagnosticLog.logPath, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (holder == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (!LockLogByte(holder, kRotationLock)) {
        CloseHandle(holder);
        return nullptr;
    }
    return holder;
}

// Keeps one backup generation: the full log becomes ".BAK" and a fresh file takes its place. A
// move that fails (another process holds the file) leaves the same file to be appended to, and
// the backup as it was: it is deleted only when the move that replaces it can happen, not at
// every refused rotation.
void Rotate() {
    char backupPath[1023 + sizeof(".BAK")];
    snprintf(backupPath, sizeof backupPath, "%.1023s.BAK", DiagnosticLog.logPath);
    EnterCriticalSection(&DiagnosticLog.logLock);
    HANDLE holder = HoldForRotation();
    CloseHandle(DiagnosticLog.logFile);
    if (!MoveFileA(DiagnosticLog.logPath, backupPath) &&
        (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS)) {
        DeleteFileA(backupPath);
        MoveFileA(DiagnosticLog.logPath, backupPath);
    }
    StoreLogFile(OpenForAppend(DiagnosticLog.logPath));
    if (holder != nullptr) {
        UnlockLogByte(holder, kRotationLock);
        CloseHandle(holder);
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
}

size_t FormatRecordHead(char* out) {
    // contractual text
    size_t length = AppendFormatted(out, kHeadRoom, "~%.*s(): %X: ", kMaxFunctionName,
                                    DiagnosticLog.recordFunction, (unsigned)GetCurrentThreadId());
    const char* marker = DiagnosticLog.recordLevel == kLogError ? "*****: " : "";
    length += AppendFormatted(out + length, kHeadRoom - length, "Line: %u: %s",
                              (unsigned)DiagnosticLog.recordLine, marker);
    return length;
}

size_t FormatRecordTrailer(char* out, size_t room) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const char* month = now.wMonth >= 1 && now.wMonth <= 12 ? kMonthNames[now.wMonth - 1] : "???";
    // contractual text
    return AppendFormatted(out, room, "$$<%.*s><x %s %02d %02d:%02d:%02d.%03d %04d><thread=%d>\r\n",
                           kMaxSourceName, SourceBaseName(DiagnosticLog.recordSource), month,
                           (int)now.wDay, (int)now.wHour, (int)now.wMinute, (int)now.wSecond,
                           (int)now.wMilliseconds, (int)now.wYear, (int)DiagnosticLog.recordLevel);
}

// Head, message cut at the message room, trailer: never more than the buffer holds.
size_t FormatRecord(const char* format, va_list args) PALLWICK_PRINTF_LIKE(1, 0);
size_t FormatRecord(const char* format, va_list args) {
    size_t length = FormatRecordHead(g_recordBuffer);
    int wanted = vsnprintf(g_recordBuffer + length, kLogMessageRoom + 1, format, args);
    if (wanted > 0) {
        length += (size_t)wanted < kLogMessageRoom ? (size_t)wanted : kLogMessageRoom;
    }
    length += FormatRecordTrailer(g_recordBuffer + length, sizeof g_recordBuffer - length);
    return length;
}

void WriteLogRecordV(const char* format, va_list args) PALLWICK_PRINTF_LIKE(1, 0);
void WriteLogRecordV(const char* format, va_list args) {
    // Writing a record must not disturb the error code that the logging site may report next.
    DWORD lastError = GetLastError();
    if (DiagnosticLog.logFile != nullptr) {
        DiagnosticLog.recordCounter = (uint16_t)(DiagnosticLog.recordCounter + 1);
        if ((DiagnosticLog.recordCounter & 0x80) != 0 && IsFull()) {
            Rotate();
        }
        size_t length = FormatRecord(format, args);
        if (DiagnosticLog.logFile != nullptr) {
            DWORD written = 0;
            SetFilePointer(DiagnosticLog.logFile, 0, nullptr, FILE_END);
            WriteFile(DiagnosticLog.logFile, g_recordBuffer, (DWORD)length, &written, nullptr);
            if (DiagnosticLog.threshold == 0) {
                FlushFileBuffers(DiagnosticLog.logFile);
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

// Trailing CR and LF of a system text, at most two of them.
void TrimLineBreak(char* text) {
    size_t length = strlen(text);
    for (int removed = 0; removed < 2 && length > 0; ++removed) {
        if (text[length - 1] != '\r' && text[length - 1] != '\n') {
            break;
        }
        text[--length] = '\0';
    }
}

} // namespace

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
    // contractual text
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
    if (LoadLogFile() == nullptr) {
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
    // contractual text
    WriteLogRecord("System code: %d: %s", (int)code, text);
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
        StoreLogFile(nullptr);
    }
    free(DiagnosticLog.logPath);
    DiagnosticLog.logPath = path != nullptr ? strdup(path) : nullptr;
    if (path != nullptr) {
        StoreLogFile(OpenForAppend(path));
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
        StoreLogFile(nullptr);
    }
    LeaveCriticalSection(&DiagnosticLog.logLock);
}
