// Folders and file attributes: full DOS paths, attributes as Wine derives them from the file's
// mode (READONLY while the owner may not write, ARCHIVE on every file, HIDDEN for dot-files),
// creating and removing folders.
#pragma once

#include "Platform/Posix/kernel32/Files.h"
#include "Platform/Posix/common/Win32Types.h"

extern "C" {
// Purely lexical, as on Windows: the file need not exist.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
// READONLY clears the write bits of a file (folders ignore it, as under Wine); HIDDEN and SYSTEM
// are kept in the extended attribute Wine uses; the others are accepted and have no effect.
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);
}
