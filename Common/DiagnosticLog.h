// The library's own diagnostic log: one plain-text file per process, shared by every agent and
// every thread, rotated to ".BAK" by size.
#pragma once

#include "Platform/Win32.h"

#include <stddef.h>
#include <stdint.h>

#include <atomic>

// clang (the fuzz build) knows no gnu_printf; mingw's gcc needs it, since its plain printf
// checks the Microsoft runtime's formats.
#if defined(__clang__)
#define PALLWICK_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#elif defined(__GNUC__)
#define PALLWICK_PRINTF_LIKE(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define PALLWICK_PRINTF_LIKE(fmt, args)
#endif

// Levels are plain enumerators, not macros: nothing tests them in the preprocessor, and the number
// is what a record prints and what the threshold from the registry is compared with.
enum LogLevel { kLogDetail = 1, kLogInfo = 2, kLogError = 3 };

// Size of the one buffer a record is built in, and the room its message gets in it; the rest is
// shared by the record's head and trailer.
constexpr size_t kLogRecordBufferSize = 32768;
constexpr size_t kLogMessageRoom = 0x7E00;
constexpr uint32_t kLogDefaultSizeLimit = 0xA00000;

// The processes that share a log take turns at rotating it through an exclusive lock on this byte
// of the file, far past any size the log reaches.
constexpr DWORD kLogRotationLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLogRotationLockOffset = 1;

struct DiagnosticLogState {
    // Null: the log is closed and records are dropped. Replaced under logLock by the rotation
    // while LogLastSystemError peeks at it without the lock.
    std::atomic<HANDLE> logFile;
    char* logPath; // kept for the rotation
    CRITICAL_SECTION logLock;
    bool lockInitialised;
    int32_t threshold; // written only while the library loads
    int32_t recordLevel;
    const char* recordFunction;
    const char* recordSource;
    uint32_t recordLine;
    uint16_t recordCounter;
    uint32_t sizeLimit;
};

// Constant-initialised: the load hook may run before any C++ static initialiser of the library.
extern DiagnosticLogState DiagnosticLog;

// Writes one record under logLock; the caller has entered the lock once and stored the record
// fields. Leaves the lock exactly once, whether or not anything was written.
void WriteLogRecord(const char* format, ...) PALLWICK_PRINTF_LIKE(1, 2);

// The shape of every logging site. The threshold is tested before the lock is taken, so a
// record below the level costs neither the lock nor the formatting.
void LogMessage(int32_t level, const char* source, const char* function, uint32_t line,
                const char* format, ...) PALLWICK_PRINTF_LIKE(5, 6);

// A level-3 "Assert failed: <condition>" record followed by a flush of the open log, whatever
// the threshold.
void LogAssertFailure(const char* source, const char* function, uint32_t line,
                      const char* condition);

// The calling thread's last Win32 error code with its system text, written whenever the log is
// open, whatever the threshold.
void LogLastSystemError(const char* source, const char* function, uint32_t line);

// A system text without its line break: its trailing CR and LF, at most two of them.
void TrimLineBreak(char* text);

// Initialises logLock once; every later call does nothing.
void InitialiseLogLock();

// Opens (or reopens) the log file at an already expanded path and appends to it; on failure the
// log stays closed. Initialises the lock first if nobody has.
void OpenLogFile(const char* path);

// Closes the log file. The library itself never does this; tests do between cases.
void CloseLogFile();

// Logging sites of one source file: define LOG_SOURCE before using these.
#define LOG_AT(level, function, ...)                                                               \
    LogMessage((level), LOG_SOURCE, (function), __LINE__, __VA_ARGS__)
#define LOG_SYSTEM_ERROR(function) LogLastSystemError(LOG_SOURCE, (function), __LINE__)
#define LOG_ASSERT_FAILED(function, condition)                                                     \
    LogAssertFailure(LOG_SOURCE, (function), __LINE__, condition)
