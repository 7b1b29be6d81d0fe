// Folders and file attributes: full DOS paths, attributes as Wine derives them from the file's
// mode (READONLY while the owner may not write, ARCHIVE on every file, HIDDEN for dot-files),
// creating and removing folders, and the shell's whole-chain folder creation.
#pragma once

#include "Platform/Posix/Files.h"
#include "Platform/Posix/Win32Types.h"

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
// Returns the Win32 code itself. No window is ever shown: with hwnd set, a failure other than an
// existing folder gives ERROR_CANCELLED, as after the dialog Windows would show.
int WINAPI SHCreateDirectoryExA(HWND hwnd, LPCSTR pszPath, const SECURITY_ATTRIBUTES* psa);
}
