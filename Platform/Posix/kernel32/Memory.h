// LocalAlloc and LocalFree: the local heap, which the functions that hand the caller a buffer of
// their own making (FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER) allocate from. Fixed
// memory only: the handle is the block's address, as Windows gives for LMEM_FIXED.
#pragma once

#include "Platform/Posix/common/Win32Types.h"
#include "Platform/Posix/common/WinError.h"

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {
// uFlags LMEM_FIXED, optionally with LMEM_ZEROINIT; moveable memory is refused
// (ERROR_INVALID_PARAMETER). A zero-byte request still gives a block of its own.
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
// NULL when the block was freed (or hMem was NULL).
HLOCAL WINAPI LocalFree(HLOCAL hMem);
}
