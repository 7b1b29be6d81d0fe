#include "Common/SetupDirAndFileUtils.h"

#include "Common/DiagnosticLog.h"
#include "Platform/Win32.h"

#include <stdio.h>
#include <string.h>

#define LOG_SOURCE "Common\\SetupDirAndFileUtils"

namespace {

constexpr DWORD kRetryPeriodMs = 30000;
constexpr DWORD kRetryPauseMs = 5000;
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

bool TimeLeft(DWORD start) {
    return GetTickCount() - start < kRetryPeriodMs;
}

// Clears FILE_ATTRIBUTE_READONLY, keeping the other attributes. False when that failed.
bool ClearReadOnly(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return true;
    }
    return SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY) != FALSE;
}

// A file that occupies the folder's name is removed first. False when it outlasts the retries.
bool RemoveFileInTheWay(const char* path) {
    if (!Exists(path) || IsFolder(path)) {
        return true;
    }
    for (DWORD start = GetTickCount(); TimeLeft(start);) {
        if (!Exists(path) || IsFolder(path)) {
            return true;
        }
        ClearReadOnly(path);
        if (!DeleteFileA(path)) {
            Sleep(kRetryPauseMs);
        }
    }
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
    for (DWORD start = GetTickCount(); TimeLeft(start);) {
        if (IsFolder(copy)) {
            return 1;
        }
        if (SHCreateDirectoryExA(nullptr, path, nullptr) != ERROR_SUCCESS) {
            Sleep(kRetryPauseMs);
        }
    }
    return IsFolder(copy) ? 1 : 0;
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
    for (DWORD start = GetTickCount(); TimeLeft(start);) {
        if (!IsFolder(copy)) {
            return 1;
        }
        if (!RemoveDirectoryA(copy)) {
            // contractual text
            LOG_AT(LOG_ERROR, "MyDeleteDir", "Warning: problems deleting directory: %s", copy);
            LOG_SYSTEM_ERROR("MyDeleteDir");
            Sleep(kRetryPauseMs);
        }
    }
    return IsFolder(copy) ? 0 : 1;
}

int MyDeleteFile(const char* pszFile) {
    if (pszFile == nullptr) {
        LOG_ASSERT_FAILED("MyDeleteFile", "pszFile != NULL");
        return 0;
    }
    if (MyDoesDirExist(pszFile) == 1) {
        return MyDeleteDir(pszFile);
    }
    for (DWORD start = GetTickCount(); TimeLeft(start);) {
        if (!Exists(pszFile) || IsFolder(pszFile)) {
            return 1;
        }
        if (!ClearReadOnly(pszFile)) {
            // contractual text
            LOG_AT(LOG_ERROR, "MyDeleteFile", "Warning: problems removing read-only attributes: %s",
                   pszFile);
            LOG_SYSTEM_ERROR("MyDeleteFile");
        }
        if (!DeleteFileA(pszFile)) {
            // contractual text
            LOG_AT(LOG_ERROR, "MyDeleteFile", "Warning: problems deleting file: %s", pszFile);
            LOG_SYSTEM_ERROR("MyDeleteFile");
            Sleep(kRetryPauseMs);
        }
    }
    // The attempt in which the time ran out may have been the one that succeeded.
    return Exists(pszFile) && !IsFolder(pszFile) ? 0 : 1;
}
