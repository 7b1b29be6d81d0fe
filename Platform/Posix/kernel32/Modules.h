// Modules: the file a loaded module came from, in the DOS form that Wine reports (Z:\usr\... for
// a file outside the prefix's drives). A module is the host executable (NULL) or any address
// inside a loaded shared object, such as its load address from dladdr or one of its functions.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

extern "C" {
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
}
