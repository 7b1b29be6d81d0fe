// The shell's folder creation: SHCreateDirectoryExA makes every missing folder of a DOS path
// through CreateDirectoryA, as the shell does, and reports the Win32 code of the last step.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

extern "C" {
// Returns the Win32 code itself. No window is ever shown: with hwnd set, a failure other than an
// existing folder gives ERROR_CANCELLED, as after the dialog Windows would show.
int WINAPI SHCreateDirectoryExA(HWND hwnd, LPCSTR pszPath, const SECURITY_ATTRIBUTES* psa);
}
