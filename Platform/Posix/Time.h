// Local time and thread identity.
#pragma once

#include "Platform/Posix/Win32Types.h"

extern "C" {
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
DWORD WINAPI GetCurrentThreadId(void);
}
