// Drive types: a letter's folder from the machine image's drive map, its type from the file system
// mounted there or, for a linked drive on a local mount, from the type the prefix marks under
// HKEY_LOCAL_MACHINE\Software\Wine\Drives, as Wine's mount manager takes it.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

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
