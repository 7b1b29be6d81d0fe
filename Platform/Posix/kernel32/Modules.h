// Modules: the file a loaded module came from, in the DOS form that Wine reports (Z:\usr\... for
// a file outside the prefix's drives), and modules loaded as data files, whose resources are read
// and never run. A module is the host executable (NULL), any address inside a loaded shared
// object (such as its load address from dladdr or one of its functions), or what LoadLibraryExA
// gave for a data file (see DataFileModules.h).
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

extern "C" {
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
// Only as a data file or image resource: the name is a DOS path (no DLL search), and code is
// never loaded, so any other use fails with ERROR_NOT_SUPPORTED.
HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
}
