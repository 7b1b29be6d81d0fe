// Where the diagnostic log goes and how verbose it is, settled once while the library loads.
#pragma once

#include "Platform/Win32.h"

#include <stdint.h>

// How OpenDiagnosticLog turns a name into the log's path.
enum LogPlacement : int32_t {
    Explicit = 0,    // the name is the path
    HostLogsDir = 2, // a "logs" folder near the host executable
    WindowsDir = 3,  // below %windir%
};

// Chooses the log's place from the host executable and the library's own file name, then opens
// it. Called from the load notification with the library's module.
void StartDiagnosticLog(HMODULE module);

void OpenDiagnosticLog(int32_t placement, const char* name);
void ReadLogSizeLimit(const char* logPath);
void ReadLogLevel();
