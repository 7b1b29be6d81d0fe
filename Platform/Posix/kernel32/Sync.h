// Critical sections: re-entrant locks, as on Windows, over a recursive pthread mutex kept inside
// the CRITICAL_SECTION itself so that agent code can embed one in its own structures.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

typedef struct _RTL_CRITICAL_SECTION {
    // Room for a pthread_mutex_t on every Linux target (Sync.cpp checks).
    unsigned long long opaque[8];
} RTL_CRITICAL_SECTION, CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

extern "C" {
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
}
