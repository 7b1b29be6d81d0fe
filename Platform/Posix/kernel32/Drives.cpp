#include "Platform/Posix/kernel32/Drives.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/kernel32/Errors.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// File system magic numbers (statfs f_type) that decide a drive's type.
constexpr uint32_t kNfsMagic = 0x6969;
constexpr uint32_t kSmbMagic = 0x517B;
constexpr uint32_t kCifsMagic = 0xFF534D42;
constexpr uint32_t kSmb2Magic = 0xFE534D42;
constexpr uint32_t kNineP2000Magic = 0x01021997;
constexpr uint32_t kTmpfsMagic = 0x01021994;
constexpr uint32_t kRamfsMagic = 0x858458F6;
constexpr uint32_t kIso9660Magic = 0x9660;
constexpr uint32_t kUdfMagic = 0x15013346;

bool FileStartsWithOne(const char* path) {
    FILE* file = fopen(path, "re");
    if (file == nullptr) {
        return false;
    }
    int first = fgetc(file);
    fclose(file);
    return first == '1';
}

// Whether the block device holding folder is marked removable; for a partition the flag sits on
// its parent disk.
bool IsOnRemovableDisk(const char* folder) {
    struct stat info;
    if (PosixStat(folder, &info) != 0) {
        return false;
    }
    char link[64];
    snprintf(link, sizeof(link), "/sys/dev/block/%u:%u", major(info.st_dev), minor(info.st_dev));
    char device[PATH_MAX];
    if (realpath(link, device) == nullptr) {
        return false;
    }
    char flag[PATH_MAX + 32];
    int written = snprintf(flag, sizeof(flag), "%s/partition", device);
    if (written < 0 || static_cast<size_t>(written) >= sizeof(flag)) {
        return false;
    }
    // The host's device flags under /sys are no file of the drive's: read raw, as the drive map is.
    bool isPartition = access(flag, F_OK) == 0;
    written =
        snprintf(flag, sizeof(flag), isPartition ? "%s/../removable" : "%s/removable", device);
    if (written < 0 || static_cast<size_t>(written) >= sizeof(flag)) {
        return false;
    }
    return FileStartsWithOne(flag);
}

// The type a prefix gives a drive under Software\Wine\Drives: a REG_SZ named "x:" holding one of
// Wine's type names, in any case. Anything else leaves the drive to its default.
struct MarkedType {
    const char* name;
    UINT type;
};
constexpr MarkedType kMarkedTypes[] = {{"hd", DRIVE_FIXED},
                                       {"network", DRIVE_REMOTE},
                                       {"floppy", DRIVE_REMOVABLE},
                                       {"cdrom", DRIVE_CDROM},
                                       {"ramdisk", DRIVE_RAMDISK}};

UINT DriveTypeMarkedInRegistry(char lower) {
    HKEY drives = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", 0, KEY_QUERY_VALUE, &drives) !=
        ERROR_SUCCESS) {
        return DRIVE_UNKNOWN;
    }
    char valueName[3] = {lower, ':', '\0'};
    char text[32];
    DWORD type = REG_NONE;
    DWORD size = sizeof(text) - 1;
    LSTATUS status =
        RegQueryValueExA(drives, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(drives);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        return DRIVE_UNKNOWN;
    }
    text[size] = '\0';
    for (const MarkedType& marked : kMarkedTypes) {
        if (strcasecmp(text, marked.name) == 0) {
            return marked.type;
        }
    }
    return DRIVE_UNKNOWN;
}

// A local disk's type when the prefix says nothing: A: and B: are floppy drives to Wine.
UINT LinkedLocalDiskType(char lower) {
    UINT marked = DriveTypeMarkedInRegistry(lower);
    if (marked != DRIVE_UNKNOWN) {
        return marked;
    }
    return lower == 'a' || lower == 'b' ? DRIVE_REMOVABLE : DRIVE_UNKNOWN;
}

// Network and optical file systems are what they are whatever the registry says, as under Wine;
// for any other the prefix's word comes first, then what the mount shows. Wine's mount manager
// only knows drives that have a dosdevices link, and only those take a type from the registry;
// asking for the others would load the registry for nothing.
UINT DriveTypeOfFolder(char letter, const char* folder, bool linked) {
    struct statfs info;
    if (PosixStatfs(folder, &info) != 0) {
        // The root was found a moment ago: only a vanished one is no root.
        return errno == ENOENT || errno == ENOTDIR ? DRIVE_NO_ROOT_DIR : DRIVE_UNKNOWN;
    }
    switch (static_cast<uint32_t>(info.f_type)) {
    case kNfsMagic:
    case kSmbMagic:
    case kCifsMagic:
    case kSmb2Magic:
    case kNineP2000Magic:
        return DRIVE_REMOTE;
    case kIso9660Magic:
    case kUdfMagic:
        return DRIVE_CDROM;
    default:
        break;
    }
    char lower = static_cast<char>(tolower(static_cast<unsigned char>(letter)));
    UINT marked = linked ? LinkedLocalDiskType(lower) : DRIVE_UNKNOWN;
    if (marked != DRIVE_UNKNOWN) {
        return marked;
    }
    switch (static_cast<uint32_t>(info.f_type)) {
    case kTmpfsMagic:
    case kRamfsMagic:
        return DRIVE_RAMDISK;
    default:
        return IsOnRemovableDisk(folder) ? DRIVE_REMOVABLE : DRIVE_FIXED;
    }
}

// The drive letter and Unix folder a GetDriveTypeA argument names. Windows takes NULL and "\" for
// the current drive's root and "X:" for the root of X:; any other path must end in a separator,
// and then names that folder, whose volume answers: "C:\Windows\" is on a fixed disk where
// "C:\Windows" is no root. A folder that does not exist is no root either.
bool FolderOfRoot(const char* root, char* letter, char* folder, size_t folderSize, bool* linked) {
    char driveRoot[4] = {'\\', '\0', '\0', '\0'};
    const char* path = driveRoot;
    if (root != nullptr && isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':' &&
        root[2] == '\0') {
        driveRoot[0] = root[0];
        driveRoot[1] = ':';
        driveRoot[2] = '\\';
    } else if (root != nullptr) {
        size_t length = strlen(root);
        if (length == 0 || !IsDosSeparator(root[length - 1])) {
            return false;
        }
        path = root;
    }
    char full[kPathCapacity];
    if (!FullDosPath(path, full, sizeof(full))) {
        return false;
    }
    *letter = full[0];
    if (!DriveRootFolder(*letter, folder, folderSize, linked)) {
        return false;
    }
    if (full[3] == '\0') {
        return true;
    }
    struct stat info;
    return DosPathToUnix(full, folder, folderSize) && PosixStat(folder, &info) == 0 &&
           S_ISDIR(info.st_mode);
}

} // namespace

extern "C" {

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    // Windows answers without touching the last error, whatever the path.
    DWORD lastError = GetLastError();
    char letter = '\0';
    char folder[PATH_MAX];
    bool linked = false;
    UINT type = FolderOfRoot(lpRootPathName, &letter, folder, sizeof(folder), &linked)
                    ? DriveTypeOfFolder(letter, folder, linked)
                    : DRIVE_NO_ROOT_DIR;
    SetLastError(lastError);
    return type;
}

} // extern "C"
