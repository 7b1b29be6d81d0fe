#include "Platform/Posix/shell32/ShellFolders.h"

#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/kernel32/Folders.h"

#include <string.h>

namespace {

// CreateDirectoryA's result as a Win32 code, as the shell reads it.
DWORD CreateFolder(const char* dosPath) {
    return CreateDirectoryA(dosPath, nullptr) ? ERROR_SUCCESS : GetLastError();
}

// The shell's notion of a relative path: neither rooted nor starting with a drive.
bool IsShellRelative(const char* path) {
    return path == nullptr || path[0] == '\0' || !(path[0] == '\\' || path[1] == ':');
}

// Length of the part of path that is never created: "X:\", "X:" or "\".
size_t RootLength(const char* path) {
    if (path[1] == ':') {
        return IsDosSeparator(path[2]) ? 3 : 2;
    }
    return 1;
}

// Creates every folder on the way; the last creation's result is the answer, as in the shell.
int CreateChain(const char* path) {
    char partial[MAX_PATH + 1];
    size_t length = strlen(path);
    memcpy(partial, path, length + 1);
    DWORD result = ERROR_PATH_NOT_FOUND;
    for (size_t end = RootLength(path); end <= length; ++end) {
        if (end < length && !IsDosSeparator(path[end])) {
            continue;
        }
        if (end > 0 && IsDosSeparator(path[end - 1])) {
            continue; // doubled or trailing separator: that folder was already done
        }
        partial[end] = '\0';
        result = CreateFolder(partial);
        partial[end] = path[end];
    }
    return static_cast<int>(result);
}

} // namespace

extern "C" {

int WINAPI SHCreateDirectoryExA(HWND hwnd, LPCSTR pszPath, const SECURITY_ATTRIBUTES* psa) {
    DWORD fault = FaultCheck(LayerCall::SHCreateDirectoryExA);
    if (fault != ERROR_SUCCESS) {
        SetLastError(fault);
        return static_cast<int>(fault);
    }
    (void)psa;
    DWORD result = ERROR_BAD_PATHNAME;
    if (!IsShellRelative(pszPath)) {
        result = strlen(pszPath) >= MAX_PATH ? ERROR_FILENAME_EXCED_RANGE : CreateFolder(pszPath);
    }
    bool settled = result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ||
                   result == ERROR_FILE_EXISTS || result == ERROR_FILENAME_EXCED_RANGE ||
                   result == ERROR_BAD_PATHNAME;
    if (!settled) {
        result = static_cast<DWORD>(CreateChain(pszPath));
    }
    if (hwnd != nullptr && result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) {
        result = ERROR_CANCELLED;
    }
    SetLastError(result);
    return static_cast<int>(result);
}

} // extern "C"
