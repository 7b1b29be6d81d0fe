// Local memory, as the functions that hand out memory for the caller to free (the SID functions)
// allocate it. Declared as <winbase.h> declares it.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);
}
