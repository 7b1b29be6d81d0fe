#include "Common/DiagnosticLogStartup.h"

#include "Common/AsciiCase.h"
#include "Common/DiagnosticLog.h"
#include "Common/ScopedResource.h"
#include "Common/SetupDirAndFileUtils.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr char kDefaultLogFile[] = "c:\\QuorvaneNative.LOG";
constexpr char kFallbackLogName[] = "c:\\Pallwick.LOG";
constexpr char kWorkbenchHost[] = "quorvaneworkbench.exe";
constexpr DWORD kUnexpandedPathSize = 520;
constexpr DWORD kExpandedPathSize = 512;
constexpr DWORD kHostPathSize = 512;
constexpr uint32_t kMinimumSizeLimit = 10240;

// The full path of a module and a pointer to its file-name part, both within MAX_PATH. False
// when either call fails or the path does not fit.
bool GetModuleFullPath(HMODULE module, char (&full)[MAX_PATH], char** filePart) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    *filePart = nullptr;
    DWORD fullLength = GetFullPathNameA(path, MAX_PATH, full, filePart);
    return fullLength > 0 && fullLength < MAX_PATH && *filePart != nullptr;
}

// A set-up or uninstall program logs below the Windows folder; so does nothing else.
bool IsSetupHost(char* hostFileName) {
    LowerAsciiInPlace(hostFileName);
    return strstr(hostFileName, "setup") != nullptr ||
           strstr(hostFileName, "uninstaller") != nullptr;
}

// The set-up log folder, by the kind of set-up the host's lower-cased name tells.
const char* SetupLogFolder(const char* hostFileName) {
    if (strstr(hostFileName, "server") != nullptr) {
        return "QuorvaneSetupLogs\\Server\\";
    }
    if (strstr(hostFileName, "client") != nullptr) {
        return "QuorvaneSetupLogs\\Client\\";
    }
    if (strstr(hostFileName, "workbench") != nullptr) {
        return "QuorvaneSetupLogs\\Workbench\\";
    }
    return "QuorvaneSetupLogs\\";
}

// "%s\logs\%s" below the parent of the host's folder, or below the host's own folder for the
// workbench. Empty when the host's path is unknown.
void BuildHostLogsPath(const char* name, char (&path)[kUnexpandedPathSize]) {
    char base[kHostPathSize];
    DWORD length = GetModuleFileNameA(nullptr, base, kHostPathSize);
    if (length == 0 || length >= kHostPathSize) {
        return;
    }
    char* lastSlash = strrchr(base, '\\');
    if (lastSlash == nullptr) {
        return;
    }
    bool workbench = EqualsIgnoringAsciiCase(lastSlash + 1, kWorkbenchHost);
    *lastSlash = '\0';
    if (!workbench) {
        char* folderSlash = strrchr(base, '\\');
        if (folderSlash != nullptr) {
            *folderSlash = '\0';
        }
    }
    snprintf(path, sizeof path, "%s\\logs\\%s", base, name);
}

void BuildLogPath(int32_t placement, const char* name, char (&path)[kUnexpandedPathSize]) {
    path[0] = '\0';
    switch (placement) {
    case Explicit:
        snprintf(path, sizeof path, "%s", name);
        break;
    case HostLogsDir:
        BuildHostLogsPath(name, path);
        break;
    case WindowsDir:
        snprintf(path, sizeof path, "%%windir%%\\%s", name);
        break;
    default:
        break;
    }
    if (path[0] == '\0') {
        snprintf(path, sizeof path, "%s", kDefaultLogFile);
    }
}

// The folder part of the log's path: up to the last separator of either kind, a bare drive
// getting its backslash back.
void MakeLogFolder(const char* logPath) {
    char folder[kExpandedPathSize + 1];
    snprintf(folder, sizeof folder, "%s", logPath);
    char* backslash = strrchr(folder, '\\');
    char* slash = strrchr(folder, '/');
    char* cut = backslash > slash ? backslash : slash;
    if (cut == nullptr) {
        return;
    }
    *cut = '\0';
    if (strlen(folder) < 3) {
        strcat(folder, "\\");
    }
    MyCreateDir(folder);
}

// atol's reading of a decimal number, held to the 32 bits of Windows' long on every build.
long long ParseLong32(const char* text) {
    long long value = strtoll(text, nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return value < INT32_MIN ? INT32_MIN : value;
}

} // namespace

void StartDiagnosticLog(HMODULE module) {
    char host[MAX_PATH];
    char* hostFileName = nullptr;
    bool setupHost = GetModuleFullPath(nullptr, host, &hostFileName) && IsSetupHost(hostFileName);

    char library[MAX_PATH];
    char* libraryFileName = nullptr;
    if (!GetModuleFullPath(module, library, &libraryFileName)) {
        OpenDiagnosticLog(Explicit, kFallbackLogName);
        return;
    }
    char name[MAX_PATH];
    int32_t placement = HostLogsDir;
    if (setupHost) {
        snprintf(name, sizeof name, "%s%s", SetupLogFolder(hostFileName), libraryFileName);
        placement = WindowsDir;
    } else {
        snprintf(name, sizeof name, "%s", libraryFileName);
    }
    char* dot = strchr(name, '.');
    if (dot != nullptr) {
        *dot = '\0';
    }
    char logName[MAX_PATH + sizeof(".LOG")];
    snprintf(logName, sizeof logName, "%s.LOG", name);
    OpenDiagnosticLog(placement, logName);
}

void OpenDiagnosticLog(int32_t placement, const char* name) {
    if (name == nullptr) {
        return;
    }
    char path[kUnexpandedPathSize];
    BuildLogPath(placement, name, path);
    char expanded[kExpandedPathSize];
    DWORD needed = ExpandEnvironmentStringsA(path, expanded, kExpandedPathSize);
    if (needed == 0 || needed > kExpandedPathSize) {
        snprintf(expanded, sizeof expanded, "%s", kDefaultLogFile);
    }
    MakeLogFolder(expanded);
    OpenLogFile(expanded);
    ReadLogSizeLimit(expanded);
    ReadLogLevel();
}

void ReadLogSizeLimit(const char* logPath) {
    char sidePath[kExpandedPathSize + sizeof(".size")];
    snprintf(sidePath, sizeof sidePath, "%s.size", logPath);
    ScopedFileHandle file(
        FileHandleOrNull(CreateFileA(sidePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file.held()) {
        return;
    }
    char text[1024];
    DWORD read = 0;
    if (ReadFile(file.get(), text, sizeof text - 1, &read, nullptr)) {
        text[read] = '\0';
        long long limit = ParseLong32(text);
        if (limit > kMinimumSizeLimit) {
            DiagnosticLog.sizeLimit = static_cast<uint32_t>(limit);
        }
    }
}

void ReadLogLevel() {
    ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane", 0, KEY_READ, key.receive()) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG status = RegQueryValueExA(key.get(), "NativeLoggingLevelValue", nullptr, &type,
                                   reinterpret_cast<LPBYTE>(&value), &size);
    DiagnosticLog.threshold = status == ERROR_SUCCESS && type == REG_DWORD
                                  ? static_cast<int32_t>(value)
                                  : static_cast<int32_t>(kLogInfo);
}
