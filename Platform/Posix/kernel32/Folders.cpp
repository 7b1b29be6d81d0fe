#include "Platform/Posix/kernel32/Folders.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/kernel32/FileAttributes.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Windows refuses a folder path that leaves no room for an 8.3 name under MAX_PATH.
constexpr size_t kMaxFolderPath = MAX_PATH - 12;
// Where Wine (and Samba) keep the DOS attributes that a mode cannot hold.
constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr DWORD kExtendedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool EndsInSeparator(const char* path) {
    size_t length = strlen(path);
    return length > 0 && IsDosSeparator(path[length - 1]);
}

// Windows drops trailing dots and spaces from the last component ("a.log." names "a.log").
void TrimLastComponent(char* path) {
    size_t length = strlen(path);
    while (length > 3 && (path[length - 1] == '.' || path[length - 1] == ' ') &&
           path[length - 2] != '\\') {
        path[--length] = '\0';
    }
}

// The full path Windows would report, or 0 with the last error set.
size_t FullPathOf(const char* name, char* out, size_t outSize) {
    if (!FullDosPath(name, out, outSize)) {
        return 0;
    }
    size_t length = strlen(out);
    bool isRoot = length == 3;
    if (EndsInSeparator(name) && !isRoot) {
        if (length + 1 >= outSize) {
            FailWith(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        out[length++] = '\\';
        out[length] = '\0';
    } else if (!isRoot) {
        TrimLastComponent(out);
        length = strlen(out);
    }
    return length;
}

bool IsDotFile(const char* unixPath) {
    const char* slash = strrchr(unixPath, '/');
    const char* name = slash == nullptr ? unixPath : slash + 1;
    return name[0] == '.' && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}

// HIDDEN and SYSTEM from Wine's extended attribute ("0x<hex>") of the file at unixPath; a
// dot-file without one is hidden, by the name it goes by.
DWORD ExtendedAttributesOf(const char* unixPath, const char* name) {
    char data[32];
    ssize_t length = getxattr(unixPath, kDosAttributeName, data, sizeof(data) - 1);
    if (length < 0) {
        return IsDotFile(name) ? FILE_ATTRIBUTE_HIDDEN : 0;
    }
    data[length] = '\0';
    if (length <= 2 || data[0] != '0' || (data[1] != 'x' && data[1] != 'X')) {
        return 0;
    }
    char* end = nullptr;
    unsigned long value = strtoul(data + 2, &end, 16);
    return end != nullptr && *end == '\0' ? static_cast<DWORD>(value) & kExtendedAttributes : 0;
}

DWORD ModeAttributesOf(const struct stat& info) {
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    return (info.st_mode & S_IWUSR) == 0 ? attributes | FILE_ATTRIBUTE_READONLY : attributes;
}

DWORD AttributesOf(const char* unixPath, const struct stat& info) {
    return ModeAttributesOf(info) | ExtendedAttributesOf(unixPath, unixPath);
}

// Write bits follow READONLY on files; a writable file gets its owner's write bit back.
DWORD ApplyReadOnly(const char* unixPath, const struct stat& info, bool readOnly) {
    if (S_ISDIR(info.st_mode)) {
        return ERROR_SUCCESS;
    }
    mode_t mode =
        readOnly ? (info.st_mode & ~static_cast<mode_t>(0222)) : (info.st_mode | S_IRUSR | S_IWUSR);
    if ((mode & 07777) == (info.st_mode & 07777)) {
        return ERROR_SUCCESS;
    }
    return PosixChmod(unixPath, mode & 07777) == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
}

// Stores HIDDEN and SYSTEM as Wine does. A dot-file keeps an explicit value so that clearing
// HIDDEN sticks; elsewhere no attribute means none is set. File systems without user extended
// attributes simply do not keep them.
void ApplyExtendedAttributes(const char* unixPath, DWORD attributes) {
    DWORD kept = attributes & kExtendedAttributes;
    if (kept == 0 && !IsDotFile(unixPath)) {
        removexattr(unixPath, kDosAttributeName);
        return;
    }
    char data[16];
    int length = snprintf(data, sizeof(data), "0x%x", kept);
    if (length > 0 && static_cast<size_t>(length) < sizeof(data)) {
        setxattr(unixPath, kDosAttributeName, data, static_cast<size_t>(length), 0);
    }
}

// CreateDirectoryA's result as a Win32 code.
DWORD CreateFolder(const char* dosPath) {
    char full[kPathCapacity];
    if (dosPath == nullptr || !FullDosPath(dosPath, full, sizeof(full))) {
        return dosPath == nullptr ? ERROR_PATH_NOT_FOUND : GetLastError();
    }
    if (strlen(full) > kMaxFolderPath) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    char unixPath[kPathCapacity];
    if (!DosPathToUnix(full, unixPath, sizeof(unixPath))) {
        return GetLastError();
    }
    if (PosixMkdir(unixPath, 0777) == 0) {
        return ERROR_SUCCESS;
    }
    // Windows reports a missing folder on the way as a missing path, even when only the last
    // component is new.
    int err = errno;
    return err == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(err, ERROR_ALREADY_EXISTS);
}

bool IsCurrentDirectory(const struct stat& info) {
    struct stat current;
    return PosixStat(".", &current) == 0 && current.st_dev == info.st_dev &&
           current.st_ino == info.st_ino;
}

DWORD RemoveFolder(const char* unixPath) {
    struct stat info;
    if (PosixLstat(unixPath, &info) != 0) {
        return Win32ErrorFromPathErrno(errno, unixPath);
    }
    if (!S_ISDIR(info.st_mode)) {
        return ERROR_DIRECTORY;
    }
    // The process holds its current directory open without delete sharing.
    if (IsCurrentDirectory(info)) {
        return ERROR_SHARING_VIOLATION;
    }
    if (PosixRmdir(unixPath) == 0) {
        return ERROR_SUCCESS;
    }
    return errno == EEXIST ? ERROR_DIR_NOT_EMPTY : Win32ErrorFromPathErrno(errno, unixPath);
}

// The Unix path (in a buffer of kPathCapacity) and the status of an existing file named by a DOS
// path; false with the last error set as the attribute functions report it.
bool StatDosPath(const char* dosPath, char* unixPath, struct stat* info) {
    if (dosPath == nullptr || dosPath[0] == '\0') {
        return FailWith(ERROR_PATH_NOT_FOUND);
    }
    if (!DosPathToUnix(dosPath, unixPath, kPathCapacity)) {
        return false;
    }
    if (PosixStat(unixPath, info) != 0) {
        return FailWith(Win32ErrorFromPathErrno(errno, unixPath));
    }
    return true;
}

} // namespace

// Raw readlink: naming the descriptor's file is no call on what the caller names.
DWORD AttributesOfOpenFile(int descriptor, const struct stat& info) {
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char name[kPathCapacity];
    ssize_t length = readlink(link, name, sizeof name - 1);
    name[length > 0 ? length : 0] = '\0';
    return ModeAttributesOf(info) | ExtendedAttributesOf(link, name);
}

extern "C" {

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
    if (!FaultAllows(LayerCall::GetFullPathNameA)) {
        return 0;
    }
    if (lpFileName == nullptr || lpFileName[0] == '\0') {
        FailWith(ERROR_INVALID_NAME);
        return 0;
    }
    char full[kPathCapacity];
    size_t length = FullPathOf(lpFileName, full, sizeof(full));
    if (length == 0) {
        return 0;
    }
    // The ANSI call works through a MAX_PATH buffer.
    if (length >= MAX_PATH) {
        FailWith(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (lpBuffer == nullptr || length + 1 > nBufferLength) {
        return static_cast<DWORD>(length + 1);
    }
    memcpy(lpBuffer, full, length + 1);
    if (lpFilePart != nullptr) {
        char* lastSeparator = strrchr(lpBuffer, '\\');
        bool endsInSeparator = lastSeparator != nullptr && lastSeparator[1] == '\0';
        *lpFilePart = lastSeparator == nullptr || endsInSeparator ? nullptr : lastSeparator + 1;
    }
    return static_cast<DWORD>(length);
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    if (!FaultAllows(LayerCall::GetFileAttributesA)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    char unixPath[kPathCapacity];
    struct stat info;
    if (!StatDosPath(lpFileName, unixPath, &info)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(unixPath, info);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    if (!FaultAllows(LayerCall::SetFileAttributesA)) {
        return FALSE;
    }
    char unixPath[kPathCapacity];
    struct stat info;
    if (!StatDosPath(lpFileName, unixPath, &info)) {
        return FALSE;
    }
    DWORD error = ApplyReadOnly(unixPath, info, (dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
    if (error != ERROR_SUCCESS) {
        return FailWith(error);
    }
    ApplyExtendedAttributes(unixPath, dwFileAttributes);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (!FaultAllows(LayerCall::CreateDirectoryA)) {
        return FALSE;
    }
    (void)lpSecurityAttributes;
    DWORD result = CreateFolder(lpPathName);
    return result == ERROR_SUCCESS ? TRUE : FailWith(result);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    if (!FaultAllows(LayerCall::RemoveDirectoryA)) {
        return FALSE;
    }
    char unixPath[kPathCapacity];
    if (lpPathName == nullptr || lpPathName[0] == '\0') {
        return FailWith(ERROR_PATH_NOT_FOUND);
    }
    if (!DosPathToUnix(lpPathName, unixPath, sizeof(unixPath))) {
        return FALSE;
    }
    DWORD result = RemoveFolder(unixPath);
    return result == ERROR_SUCCESS ? TRUE : FailWith(result);
}

} // extern "C"
