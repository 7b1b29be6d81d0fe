// Local time, the millisecond tick count, Sleep and thread identity. Tests may put the tick count
// and Sleep on a virtual clock (TestClock.h).
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define INFINITE 0xFFFFFFFF

extern "C" {
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
DWORD WINAPI GetCurrentThreadId(void);
// Milliseconds of a monotonic clock, wrapping to 0 after 2^32 as Windows' count does (49.7 days).
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD dwMilliseconds);
}
