#include "Common/SetupDirAndFileUtils.h"

#include "Common/DiagnosticLog.h"
#include "Common/RetryLoop.h"
#include "Platform/Win32.h"

#include <stdio.h>
#include <string.h>

#define LOG_SOURCE "Common\\SetupDirAndFileUtils"

namespace {

constexpr size_t kPathCopySize = 1024;

// A copy of the path without one trailing backslash, so that C:\Temp\ and C:\Temp test alike.
// False when the path does not fit the copy.
bool CopyWithoutTrailingBackslash(const char* path, char (&copy)[kPathCopySize]) {
    size_t length = strlen(path);
    if (length >= kPathCopySize) {
        return false;
    }
    memcpy(copy, path, length + 1);
    if (length > 0 && copy[length - 1] == '\\') {
        copy[length - 1] = '\0';
    }
    return true;
}

bool Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Clears FILE_ATTRIBUTE_READONLY, keeping the other attributes. False when that failed.
bool ClearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return true;
    }
    return SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) !=
           FALSE;
}

bool IsGoneOrFolder(const char* path) {
    return !Exists(path) || IsFolder(path);
}

// A file that occupies the folder's name is removed first. False when it outlasts the retries.
bool RemoveFileInTheWay(const char* path) {
    return RetryUntilDone([path] { return IsGoneOrFolder(path); },
                          [path] {
                              ClearReadOnly(path);
                              return DeleteFileA(path) != FALSE;
                          });
}

// One attempt of MyDeleteDir; a failure leaves a warning and the system error.
bool RemoveFolderWithWarning(const char* path) {
    if (RemoveDirectoryA(path)) {
        return true;
    }
    LOG_AT(kLogError, "MyDeleteDir", "Warning: problems deleting directory: %s", path);
    LOG_SYSTEM_ERROR("MyDeleteDir");
    return false;
}

// One attempt of MyDeleteFile; every failure leaves a warning and the system error.
bool DeleteWithWarnings(const char* path) {
    if (!ClearReadOnly(path)) {
        LOG_AT(kLogError, "MyDeleteFile", "Warning: problems removing read-only attributes: %s",
               path);
        LOG_SYSTEM_ERROR("MyDeleteFile");
    }
    if (DeleteFileA(path)) {
        return true;
    }
    LOG_AT(kLogError, "MyDeleteFile", "Warning: problems deleting file: %s", path);
    LOG_SYSTEM_ERROR("MyDeleteFile");
    return false;
}

} // namespace

int MyDoesDirExist(const char* pszDir) {
    if (pszDir == nullptr) {
        LOG_ASSERT_FAILED("MyDoesDirExist", "pszDir != NULL");
        return 0;
    }
    char copy[kPathCopySize];
    return CopyWithoutTrailingBackslash(pszDir, copy) && IsFolder(copy) ? 1 : 0;
}

int MyCreateDir(const char* path) {
    char copy[kPathCopySize];
    if (path == nullptr || !CopyWithoutTrailingBackslash(path, copy)) {
        return 0;
    }
    if (IsFolder(copy)) {
        return 1;
    }
    if (!RemoveFileInTheWay(path)) {
        return 0;
    }
    bool made = RetryUntilDone(
        [&copy] { return IsFolder(copy); },
        [path] { return SHCreateDirectoryExA(nullptr, path, nullptr) == ERROR_SUCCESS; });
    return made ? 1 : 0;
}

int MyDeleteDir(const char* pszDir) {
    if (pszDir == nullptr) {
        LOG_ASSERT_FAILED("MyDeleteDir", "pszDir != NULL");
        return 0;
    }
    char copy[kPathCopySize];
    if (!CopyWithoutTrailingBackslash(pszDir, copy)) {
        return 0;
    }
    if (Exists(pszDir) && !IsFolder(pszDir)) {
        return MyDeleteFile(pszDir);
    }
    bool deleted = RetryUntilDone([&copy] { return !IsFolder(copy); },
                                  [&copy] { return RemoveFolderWithWarning(copy); });
    return deleted ? 1 : 0;
}

int MyDeleteFile(const char* pszFile) {
    if (pszFile == nullptr) {
        LOG_ASSERT_FAILED("MyDeleteFile", "pszFile != NULL");
        return 0;
    }
    if (MyDoesDirExist(pszFile) == 1) {
        return MyDeleteDir(pszFile);
    }
    bool deleted = RetryUntilDone([pszFile] { return IsGoneOrFolder(pszFile); },
                                  [pszFile] { return DeleteWithWarnings(pszFile); });
    return deleted ? 1 : 0;
}
