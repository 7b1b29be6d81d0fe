// The calling thread's last error, FormatMessageA over Windows' own message texts, and the one
// mapping from errno to Win32 error codes that every area of the layer uses.
#pragma once

#include "Platform/Posix/Win32Types.h"
#include "Platform/Posix/WinError.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

extern "C" {
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
}

// Layer-internal helpers.

// errno -> Win32 code. ENOENT gives ERROR_FILE_NOT_FOUND and EEXIST gives existsCode
// (ERROR_FILE_EXISTS for creation, ERROR_ALREADY_EXISTS where Windows says so, as MoveFileA).
DWORD Win32ErrorFromErrno(int err, DWORD existsCode = ERROR_FILE_EXISTS);

// As Win32ErrorFromErrno, for a failure on unixPath: ENOENT means ERROR_FILE_NOT_FOUND when only
// the last component is missing and ERROR_PATH_NOT_FOUND when a folder on the way is.
DWORD Win32ErrorFromPathErrno(int err, const char* unixPath, DWORD existsCode = ERROR_FILE_EXISTS);

// Sets the last error and returns FALSE, for the common `return FailWith(...)`.
BOOL FailWith(DWORD code);

// Windows' English text of a system message, ending in "\r\n", or nullptr for a code we have no
// text for. The table is in ErrorTexts.cpp: add a code there when an area starts returning it.
const char* SystemMessageText(DWORD code);
