// Drive letters, from the drive map of a Wine-style prefix: the folder named by WINEPREFIX
// (default $HOME/.wine). A link dosdevices/<x>: maps letter x and wins; without one, C: is
// drive_c/ and Z: is /; any other letter is no drive. The prefix is read on every call.
#pragma once

#include "Platform/Posix/DosPaths.h"
#include "Platform/Posix/Win32Types.h"

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

extern "C" {
UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName);
}

// Layer-internal helpers.

// The prefix folder; false when neither WINEPREFIX nor HOME is set.
bool WinePrefixFolder(char* out, size_t outSize);

// The existing Unix folder that drive letter (either case) maps to, with links resolved.
bool DriveRootFolder(char letter, char* out, size_t outSize);
