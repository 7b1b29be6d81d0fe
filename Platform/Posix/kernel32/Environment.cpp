#include "Platform/Posix/kernel32/Environment.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/EnvironmentTestHooks.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/kernel32/Errors.h"

#include <ctype.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <mutex>

extern char** environ;

namespace {

// Serialises this layer's reads and writes of environ, as Windows serialises its environment
// block; code that calls setenv itself is not covered.
std::mutex g_environmentLock;

enum class DefaultKind { Fixed, UnderUser, HostName };

struct DefaultVariable {
    const char* name;
    DefaultKind kind;
    const char* prefix; // before the user name, or the whole value for Fixed
    const char* suffix; // after the user name
};

// What Wine gives a process in a fresh prefix, for the variables Linux has no counterpart of.
constexpr DefaultVariable kDefaults[] = {
    {"ALLUSERSPROFILE", DefaultKind::Fixed, "C:\\ProgramData", ""},
    {"APPDATA", DefaultKind::UnderUser, "C:\\users\\", "\\AppData\\Roaming"},
    {"CommonProgramFiles", DefaultKind::Fixed, "C:\\Program Files\\Common Files", ""},
    {"CommonProgramFiles(x86)", DefaultKind::Fixed, "C:\\Program Files (x86)\\Common Files", ""},
    {"CommonProgramW6432", DefaultKind::Fixed, "C:\\Program Files\\Common Files", ""},
    {"COMPUTERNAME", DefaultKind::HostName, "", ""},
    {"ComSpec", DefaultKind::Fixed, "C:\\windows\\system32\\cmd.exe", ""},
    {"HOMEDRIVE", DefaultKind::Fixed, "C:", ""},
    {"HOMEPATH", DefaultKind::UnderUser, "\\users\\", ""},
    {"LOCALAPPDATA", DefaultKind::UnderUser, "C:\\users\\", "\\AppData\\Local"},
    {"OS", DefaultKind::Fixed, "Windows_NT", ""},
    {"PATHEXT", DefaultKind::Fixed, ".com;.exe;.bat;.cmd;.vbs;.vbe;.js;.jse;.wsf;.wsh", ""},
    {"PROCESSOR_ARCHITECTURE", DefaultKind::Fixed, "AMD64", ""},
    {"ProgramData", DefaultKind::Fixed, "C:\\ProgramData", ""},
    {"ProgramFiles", DefaultKind::Fixed, "C:\\Program Files", ""},
    {"ProgramFiles(x86)", DefaultKind::Fixed, "C:\\Program Files (x86)", ""},
    {"ProgramW6432", DefaultKind::Fixed, "C:\\Program Files", ""},
    {"PUBLIC", DefaultKind::Fixed, "C:\\users\\Public", ""},
    {"SystemDrive", DefaultKind::Fixed, "C:", ""},
    {"SystemRoot", DefaultKind::Fixed, "C:\\windows", ""},
    {"TEMP", DefaultKind::UnderUser, "C:\\users\\", "\\Temp"},
    {"TMP", DefaultKind::UnderUser, "C:\\users\\", "\\Temp"},
    {"USERNAME", DefaultKind::UnderUser, "", ""},
    {"USERPROFILE", DefaultKind::UnderUser, "C:\\users\\", ""},
    {"windir", DefaultKind::Fixed, "C:\\windows", ""},
    {"winsysdir", DefaultKind::Fixed, "C:\\windows\\system32", ""},
};
constexpr size_t kDefaultCount = sizeof(kDefaults) / sizeof(kDefaults[0]);
static_assert(kDefaultCount <= 32, "one bit of g_deletedDefaults per default");

// Defaults that SetEnvironmentVariableA deleted; guarded by g_environmentLock.
unsigned int g_deletedDefaults = 0;

// Collects text up to a capacity while counting all of it, so that one pass both measures a
// result and, when it fits, writes it.
struct Output {
    char* buffer;
    size_t capacity;
    size_t length;
};

void Append(Output* out, const char* text, size_t length) {
    if (out->buffer != nullptr && out->length < out->capacity) {
        size_t room = out->capacity - out->length;
        memcpy(out->buffer + out->length, text, length < room ? length : room);
    }
    out->length += length;
}

void AppendString(Output* out, const char* text) {
    Append(out, text, strlen(text));
}

bool IsValidName(const char* name, size_t length) {
    return length > 0 && memchr(name, '=', length) == nullptr;
}

// The value of the process variable called name, an exact match preferred to one that differs in
// case only (Linux allows both to exist).
const char* FindProcessVariable(const char* name, size_t length) {
    const char* caseless = nullptr;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* text = *entry;
        if (strncasecmp(text, name, length) != 0 || text[length] != '=') {
            continue;
        }
        if (strncmp(text, name, length) == 0) {
            return text + length + 1;
        }
        if (caseless == nullptr) {
            caseless = text + length + 1;
        }
    }
    return caseless;
}

int FindDefault(const char* name, size_t length) {
    for (size_t i = 0; i < kDefaultCount; ++i) {
        if (strlen(kDefaults[i].name) == length &&
            strncasecmp(kDefaults[i].name, name, length) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void AppendUserName(Output* out) {
    struct passwd entry;
    struct passwd* found = nullptr;
    char storage[1024];
    if (getpwuid_r(geteuid(), &entry, storage, sizeof(storage), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && found->pw_name[0] != '\0') {
        AppendString(out, found->pw_name);
        return;
    }
    const char* user = getenv("USER");
    AppendString(out, user != nullptr && user[0] != '\0' ? user : "user");
}

// A Windows volume's computer name is its own, as its SYSTEM hive keeps it; false when the image
// is no volume or the hive holds none.
bool VolumeComputerName(char* name, DWORD size) {
    char volume[PATH_MAX];
    if (!WindowsVolumeFolder(volume, sizeof volume)) {
        return false;
    }
    DWORD saved = GetLastError();
    DWORD type = 0;
    DWORD bytes = size;
    HKEY key = nullptr;
    bool found = RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", 0,
                               KEY_QUERY_VALUE, &key) == ERROR_SUCCESS &&
                 RegQueryValueExA(key, "ComputerName", nullptr, &type,
                                  reinterpret_cast<BYTE*>(name), &bytes) == ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ);
    if (key != nullptr) {
        RegCloseKey(key);
    }
    SetLastError(saved);
    name[found && bytes < size ? bytes : (found ? size - 1 : 0)] = '\0';
    return found && name[0] != '\0';
}

// Windows' computer name: the host name up to its first dot, upper-cased, at most 15 characters.
// A Windows volume's is the one its registry holds.
void AppendComputerName(Output* out) {
    char stored[MAX_COMPUTERNAME_LENGTH + 1];
    if (VolumeComputerName(stored, sizeof stored)) {
        AppendString(out, stored);
        return;
    }
    char host[256];
    if (gethostname(host, sizeof(host)) != 0) {
        AppendString(out, "WINE");
        return;
    }
    host[sizeof(host) - 1] = '\0';
    size_t length = strcspn(host, ".");
    length = length > 15 ? 15 : length;
    for (size_t i = 0; i < length; ++i) {
        char upper = static_cast<char>(toupper(static_cast<unsigned char>(host[i])));
        Append(out, &upper, 1);
    }
}

void AppendDefault(Output* out, const DefaultVariable& variable) {
    AppendString(out, variable.prefix);
    if (variable.kind == DefaultKind::UnderUser) {
        AppendUserName(out);
    } else if (variable.kind == DefaultKind::HostName) {
        AppendComputerName(out);
    }
    AppendString(out, variable.suffix);
}

// Appends the value of the variable called name; false, appending nothing, when there is none.
// Callers hold g_environmentLock.
bool AppendValueLocked(Output* out, const char* name, size_t length) {
    if (!IsValidName(name, length)) {
        return false;
    }
    const char* value = FindProcessVariable(name, length);
    if (value != nullptr) {
        AppendString(out, value);
        return true;
    }
    int index = FindDefault(name, length);
    if (index < 0 || (g_deletedDefaults & (1u << index)) != 0) {
        return false;
    }
    AppendDefault(out, kDefaults[index]);
    return true;
}

// Windows' expansion: %NAME% becomes the value; an unknown %NAME% stays as written and scanning
// goes on after its closing %; a % without a closing one is plain text.
void ExpandLocked(const char* source, Output* out) {
    const char* cursor = source;
    while (*cursor != '\0') {
        const char* percent = strchr(cursor, '%');
        if (percent == nullptr) {
            AppendString(out, cursor);
            return;
        }
        Append(out, cursor, static_cast<size_t>(percent - cursor));
        const char* closing = strchr(percent + 1, '%');
        if (closing == nullptr) {
            AppendString(out, percent);
            return;
        }
        if (!AppendValueLocked(out, percent + 1, static_cast<size_t>(closing - percent - 1))) {
            Append(out, percent, static_cast<size_t>(closing - percent + 1));
        }
        cursor = closing + 1;
    }
}

// Removes every process variable whose name matches name ignoring case. Each removal changes
// environ, so the search starts again; the count of entries bounds the passes.
void RemoveProcessVariablesLocked(const char* name) {
    size_t length = strlen(name);
    for (int pass = 0; pass < 64; ++pass) {
        char* match = nullptr;
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            if (strncasecmp(*entry, name, length) == 0 && (*entry)[length] == '=') {
                match = LayerStrndup(*entry, length);
                break;
            }
        }
        if (match == nullptr) {
            return;
        }
        unsetenv(match);
        free(match);
    }
}

} // namespace

void EnvironmentRestoreDefaultsForTests() {
    std::lock_guard<std::mutex> guard(g_environmentLock);
    g_deletedDefaults = 0;
}

extern "C" {

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    if (!FaultAllows(LayerCall::ExpandEnvironmentStringsA)) {
        return 0;
    }
    if (BufferMissing(lpDst, nSize)) {
        return 0;
    }
    const char* source = lpSrc != nullptr ? lpSrc : "";
    Output measure = {nullptr, 0, 0};
    Output result = {lpDst, nSize, 0};
    bool fits = false;
    {
        std::lock_guard<std::mutex> guard(g_environmentLock);
        ExpandLocked(source, &measure);
        fits = measure.length < nSize;
        if (fits) {
            ExpandLocked(source, &result);
            // A value may change between the passes (the host name, another thread's setenv).
            fits = result.length < nSize;
            measure.length = result.length;
        }
    }
    if (measure.length > 0xFFFFFFF0u) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!fits) {
        if (nSize > 0) {
            lpDst[0] = '\0';
        }
        return static_cast<DWORD>(measure.length + 2);
    }
    lpDst[result.length] = '\0';
    return static_cast<DWORD>(result.length + 1);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (!FaultAllows(LayerCall::GetEnvironmentVariableA)) {
        return 0;
    }
    if (lpName == nullptr || lpName[0] == '\0') {
        FailWith(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (BufferMissing(lpBuffer, nSize)) {
        return 0;
    }
    Output measure = {nullptr, 0, 0};
    Output result = {lpBuffer, nSize, 0};
    bool found = false;
    bool fits = false;
    {
        std::lock_guard<std::mutex> guard(g_environmentLock);
        found = AppendValueLocked(&measure, lpName, strlen(lpName));
        fits = found && measure.length < nSize;
        if (fits) {
            AppendValueLocked(&result, lpName, strlen(lpName));
            fits = result.length < nSize;
            measure.length = result.length;
        }
    }
    if (!found) {
        FailWith(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (!fits) {
        return static_cast<DWORD>(measure.length + 1);
    }
    lpBuffer[result.length] = '\0';
    return static_cast<DWORD>(result.length);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    if (!FaultAllows(LayerCall::SetEnvironmentVariableA)) {
        return FALSE;
    }
    if (lpName == nullptr || !IsValidName(lpName, strlen(lpName))) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> guard(g_environmentLock);
    RemoveProcessVariablesLocked(lpName);
    int index = FindDefault(lpName, strlen(lpName));
    if (index >= 0) {
        unsigned int bit = 1u << index;
        g_deletedDefaults =
            lpValue == nullptr ? (g_deletedDefaults | bit) : (g_deletedDefaults & ~bit);
    }
    bool stored = lpValue == nullptr || setenv(lpName, lpValue, 1) == 0;
    return stored ? TRUE : FailWith(ERROR_NOT_ENOUGH_MEMORY);
}

} // extern "C"

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    if (nSize == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (BufferMissing(lpBuffer, *nSize)) {
        return FALSE;
    }
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    Output out = {name, sizeof name, 0};
    AppendComputerName(&out);
    if (out.length + 1 > *nSize) {
        *nSize = static_cast<DWORD>(out.length + 1);
        return FailWith(ERROR_BUFFER_OVERFLOW);
    }
    memcpy(lpBuffer, name, out.length);
    lpBuffer[out.length] = '\0';
    *nSize = static_cast<DWORD>(out.length);
    return TRUE;
}
