// The records a floor writes: at the default level an export writes its information records,
// and a floor without them would measure the log, not the export. Each record here is the one
// the diagnostic log makes (the same head, message and trailer, so the same length), written the
// plain way: formatted into one fixed buffer, the file pointer moved to the end, one WriteFile,
// the size looked at on the same records as the log looks at it. What the diagnostic log adds
// to that (its lock within the process, keeping the error code, its rotation) is the log's own
// cost and counts against the export.
#pragma once

#include "Common/DiagnosticLog.h"
#include "Platform/Win32.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

struct FloorLogState {
    HANDLE file;
    const char* path;
    uint16_t counter;
    char record[kLogRecordBufferSize];
};

inline FloorLogState g_floorLog = {};

// Opens the floors' log afresh; records before this call are dropped.
inline void OpenFloorLog(const char* path) {
    if (g_floorLog.file != nullptr) {
        CloseHandle(g_floorLog.file);
    }
    g_floorLog.path = path;
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    g_floorLog.file = file != INVALID_HANDLE_VALUE ? file : nullptr;
}

// A full log starts afresh instead of rotating: the floor keeps no backup.
inline void KeepFloorLogBounded() {
    g_floorLog.counter = static_cast<uint16_t>(g_floorLog.counter + 1);
    if ((g_floorLog.counter & 0x80) != 0 &&
        GetFileSize(g_floorLog.file, nullptr) >= kLogDefaultSizeLimit) {
        OpenFloorLog(g_floorLog.path);
    }
}

inline void FloorRecord(const char* function, const char* sourceBaseName, unsigned line,
                        const char* format, ...) PALLWICK_PRINTF_LIKE(4, 5);

// One information record of function at line of the source whose base name is given.
inline void FloorRecord(const char* function, const char* sourceBaseName, unsigned line,
                        const char* format, ...) {
    if (g_floorLog.file == nullptr) {
        return;
    }
    KeepFloorLogBounded();
    char* out = g_floorLog.record;
    const size_t room = sizeof g_floorLog.record;
    int length = snprintf(out, room, "~%s(): %X: Line: %u: ", function,
                          static_cast<unsigned>(GetCurrentThreadId()), line);
    va_list args;
    va_start(args, format);
    int message = vsnprintf(out + length, kLogMessageRoom + 1, format, args);
    va_end(args);
    length +=
        message < static_cast<int>(kLogMessageRoom) ? message : static_cast<int>(kLogMessageRoom);
    SYSTEMTIME now;
    GetLocalTime(&now);
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    length += snprintf(out + length, room - static_cast<size_t>(length),
                       "$$<%s><x %s %02d %02d:%02d:%02d.%03d %04d><thread=%d>\r\n", sourceBaseName,
                       kMonths[(now.wMonth + 11) % 12], static_cast<int>(now.wDay),
                       static_cast<int>(now.wHour), static_cast<int>(now.wMinute),
                       static_cast<int>(now.wSecond), static_cast<int>(now.wMilliseconds),
                       static_cast<int>(now.wYear), static_cast<int>(kLogInfo));
    DWORD written = 0;
    SetFilePointer(g_floorLog.file, 0, nullptr, FILE_END);
    WriteFile(g_floorLog.file, out, static_cast<DWORD>(length), &written, nullptr);
}
