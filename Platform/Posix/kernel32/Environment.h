// The environment as a Windows process sees it: the process environment, names compared ignoring
// case, and Wine's values for the Windows variables that a Linux process lacks (windir,
// SystemRoot, ProgramFiles, TEMP, USERPROFILE, ...). The process's own variables win; a default
// deleted with SetEnvironmentVariableA(name, NULL) stays deleted.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define MAX_COMPUTERNAME_LENGTH 15

extern "C" {
// As the ANSI call on Windows, a result that does not fit returns one more than the size it needs
// and leaves an empty string in a buffer that has room for one.
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);
DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);
// The NetBIOS name of the machine (the host name, as COMPUTERNAME gives it by default); a buffer
// too small gets ERROR_BUFFER_OVERFLOW and the size needed, terminator included.
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
}
