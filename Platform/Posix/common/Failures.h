// How every area of the layer reports a failure: the last error set in one step, and the one
// mapping from errno to Win32 error codes.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/kernel32/Errors.h"

// errno -> Win32 code. ENOENT gives ERROR_FILE_NOT_FOUND and EEXIST gives existsCode
// (ERROR_FILE_EXISTS for creation, ERROR_ALREADY_EXISTS where Windows says so, as MoveFileA).
DWORD Win32ErrorFromErrno(int err, DWORD existsCode = ERROR_FILE_EXISTS);

// As Win32ErrorFromErrno, for a failure on unixPath: ENOENT means ERROR_FILE_NOT_FOUND when only
// the last component is missing and ERROR_PATH_NOT_FOUND when a folder on the way is.
DWORD Win32ErrorFromPathErrno(int err, const char* unixPath, DWORD existsCode = ERROR_FILE_EXISTS);

// Sets the last error and returns FALSE, for the common `return FailWith(...)`.
BOOL FailWith(DWORD code);

// A null buffer with a size names memory Windows cannot write: true, with ERROR_NOACCESS as the
// last error.
bool BufferMissing(const void* buffer, DWORD size);
