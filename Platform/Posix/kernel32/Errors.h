// The calling thread's last error.
#pragma once

#include "Platform/Posix/common/Win32Types.h"
#include "Platform/Posix/common/WinError.h"

extern "C" {
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
}
