#include "Platform/Posix/Drives.h"

#include "Platform/Posix/Errors.h"

#include <ctype.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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

bool CopyBounded(char* out, size_t outSize, const char* text) {
    size_t length = strlen(text);
    if (length + 1 > outSize) {
        return false;
    }
    memcpy(out, text, length + 1);
    return true;
}

bool IsFolder(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The resolved form of an existing folder.
bool ResolvedFolder(const char* path, char* out, size_t outSize) {
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr || !IsFolder(resolved)) {
        return false;
    }
    return CopyBounded(out, outSize, resolved);
}

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
    if (stat(folder, &info) != 0) {
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
    bool isPartition = access(flag, F_OK) == 0;
    written =
        snprintf(flag, sizeof(flag), isPartition ? "%s/../removable" : "%s/removable", device);
    if (written < 0 || static_cast<size_t>(written) >= sizeof(flag)) {
        return false;
    }
    return FileStartsWithOne(flag);
}

UINT DriveTypeOfFolder(const char* folder) {
    struct statfs info;
    if (statfs(folder, &info) != 0) {
        return DRIVE_NO_ROOT_DIR;
    }
    switch (static_cast<uint32_t>(info.f_type)) {
    case kNfsMagic:
    case kSmbMagic:
    case kCifsMagic:
    case kSmb2Magic:
    case kNineP2000Magic:
        return DRIVE_REMOTE;
    case kTmpfsMagic:
    case kRamfsMagic:
        return DRIVE_RAMDISK;
    case kIso9660Magic:
    case kUdfMagic:
        return DRIVE_CDROM;
    default:
        return IsOnRemovableDisk(folder) ? DRIVE_REMOVABLE : DRIVE_FIXED;
    }
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The letter a GetDriveTypeA root names. Windows takes "X:\", "X:" and the current drive for
// NULL or "\"; a folder below a root is not a volume root there, whatever its drive.
bool DriveLetterOfRoot(const char* root, char* letter) {
    if (root == nullptr || (IsSeparator(root[0]) && root[1] == '\0')) {
        char current[PATH_MAX];
        if (!CurrentDosDirectory(current, sizeof(current))) {
            return false;
        }
        *letter = current[0];
        return true;
    }
    bool hasDrive = isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':';
    if (!hasDrive || (root[2] != '\0' && !(IsSeparator(root[2]) && root[3] == '\0'))) {
        return false;
    }
    *letter = root[0];
    return true;
}

} // namespace

bool WinePrefixFolder(char* out, size_t outSize) {
    const char* prefix = getenv("WINEPREFIX");
    if (prefix != nullptr && prefix[0] != '\0') {
        return CopyBounded(out, outSize, prefix);
    }
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return false;
    }
    int written = snprintf(out, outSize, "%s/.wine", home);
    return written >= 0 && static_cast<size_t>(written) < outSize;
}

bool DriveRootFolder(char letter, char* out, size_t outSize) {
    char lower = static_cast<char>(tolower(static_cast<unsigned char>(letter)));
    if (lower < 'a' || lower > 'z') {
        return false;
    }
    char prefix[PATH_MAX];
    char path[PATH_MAX + 32];
    if (WinePrefixFolder(prefix, sizeof(prefix))) {
        struct stat info;
        int written = snprintf(path, sizeof(path), "%s/dosdevices/%c:", prefix, lower);
        bool fits = written >= 0 && static_cast<size_t>(written) < sizeof(path);
        if (fits && lstat(path, &info) == 0) {
            return ResolvedFolder(path, out, outSize);
        }
        if (lower == 'c') {
            written = snprintf(path, sizeof(path), "%s/drive_c", prefix);
            fits = written >= 0 && static_cast<size_t>(written) < sizeof(path);
            return fits && ResolvedFolder(path, out, outSize);
        }
    }
    return lower == 'z' && CopyBounded(out, outSize, "/");
}

extern "C" {

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    char letter = '\0';
    if (!DriveLetterOfRoot(lpRootPathName, &letter)) {
        return DRIVE_NO_ROOT_DIR;
    }
    char folder[PATH_MAX];
    if (!DriveRootFolder(letter, folder, sizeof(folder))) {
        return DRIVE_NO_ROOT_DIR;
    }
    return DriveTypeOfFolder(folder);
}

} // extern "C"
