#include "Platform/Posix/advapi32/ServiceRecords.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

constexpr char kServicesKey[] = "System\\CurrentControlSet\\Services";

// What the manager makes of a registry answer: a value or key that is not there is an absence it
// has a default for; any other error stops the read, which fails with it rather than report a
// configuration the registry never held.
DWORD ReadError(LONG result) {
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS
                                                                     : static_cast<DWORD>(result);
}

// A string value with two NULs after its data, so that a value stored without its terminator
// (or a multi-string without its final one) still ends; null when absent or of another type.
// *error is set when the read failed otherwise (and kept when it already holds one).
char* ReadString(HKEY key, const char* name, bool multi, DWORD* size, DWORD* error) {
    DWORD type = 0, bytes = 0;
    LONG result = *error != ERROR_SUCCESS
                      ? static_cast<LONG>(*error)
                      : RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes);
    if (result != ERROR_SUCCESS) {
        *error = ReadError(result);
        return nullptr;
    }
    bool wanted = multi ? type == REG_MULTI_SZ : (type == REG_SZ || type == REG_EXPAND_SZ);
    if (!wanted) {
        return nullptr;
    }
    char* text = static_cast<char*>(LayerCalloc(bytes + 2, 1));
    if (text == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes);
    if (result != ERROR_SUCCESS) {
        free(text);
        // Gone or grown since its size was asked: the configuration changed under the read, and
        // the value reads as absent, as it is or was a moment ago.
        bool changed = result == ERROR_FILE_NOT_FOUND || result == ERROR_MORE_DATA;
        *error = changed ? ERROR_SUCCESS : static_cast<DWORD>(result);
        return nullptr;
    }
    if (size != nullptr) {
        *size = bytes;
    }
    return text;
}

// A missing DWORD reads as 0, as the manager treats it, and so does data too long for one.
DWORD ReadDword(HKEY key, const char* name, DWORD* error) {
    DWORD type = 0, value = 0, bytes = sizeof value;
    if (*error != ERROR_SUCCESS) {
        return 0;
    }
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes);
    *error = result == ERROR_MORE_DATA ? ERROR_SUCCESS : ReadError(result);
    return result == ERROR_SUCCESS && type == REG_DWORD && bytes == sizeof value ? value : 0;
}

char FoldChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void FreeRecord(ServiceRecord* record) {
    free(record->image);
    free(record->group);
    free(record->dependencies);
    free(record->account);
    free(record->display);
    free(record->description);
    memset(record, 0, sizeof *record);
}

bool IsWin32Type(DWORD type) {
    return (type & SERVICE_WIN32) != 0;
}

// The manager ignores a key whose configuration it could never run: no type (an application
// that only left settings there), an unknown type or start, a Win32 service without an image,
// boot or system start for anything but a driver, an interactive service under another account.
bool IsServiceConfig(DWORD type, DWORD start, const char* image, const char* account) {
    switch (type) {
    case SERVICE_KERNEL_DRIVER:
    case SERVICE_FILE_SYSTEM_DRIVER:
    case SERVICE_WIN32_OWN_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS:
        break;
    case SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS | SERVICE_INTERACTIVE_PROCESS:
        if (account != nullptr && strcasecmp(account, kLocalSystem) != 0) {
            return false;
        }
        break;
    default:
        return false;
    }
    if (IsWin32Type(type) && (image == nullptr || image[0] == '\0')) {
        return false;
    }
    return start <= SERVICE_DISABLED && (start > SERVICE_SYSTEM_START || !IsWin32Type(type));
}

HKEY OpenServicesRoot(REGSAM access, bool create) {
    HKEY root = nullptr;
    LONG result = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, nullptr, 0, access,
                                           nullptr, &root, nullptr)
                         : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, access, &root);
    return result == ERROR_SUCCESS ? root : nullptr;
}

DWORD OpenServicesRoot(REGSAM access, HKEY* root) {
    *root = nullptr;
    return static_cast<DWORD>(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, access, root));
}

DWORD ReadRecord(HKEY root, const char* name, ServiceRecord* record) {
    memset(record, 0, sizeof *record);
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(root, name, 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST
                                              : static_cast<DWORD>(opened);
    }
    DWORD error = ERROR_SUCCESS;
    record->type = ReadDword(key, "Type", &error);
    record->start = ReadDword(key, "Start", &error);
    record->errorControl = ReadDword(key, "ErrorControl", &error);
    record->tag = ReadDword(key, "Tag", &error);
    record->image = ReadString(key, "ImagePath", false, nullptr, &error);
    record->group = ReadString(key, "Group", false, nullptr, &error);
    record->dependencies =
        ReadString(key, "DependOnService", true, &record->dependenciesSize, &error);
    record->account = ReadString(key, "ObjectName", false, nullptr, &error);
    record->display = ReadString(key, "DisplayName", false, nullptr, &error);
    record->description = ReadString(key, "Description", false, nullptr, &error);
    RegCloseKey(key);
    if (error == ERROR_SUCCESS &&
        !IsServiceConfig(record->type, record->start, record->image, record->account)) {
        error = ERROR_SERVICE_DOES_NOT_EXIST;
    }
    if (error != ERROR_SUCCESS) {
        FreeRecord(record);
    }
    return error;
}

DWORD ReadRecordByName(const char* name, ServiceRecord* record) {
    memset(record, 0, sizeof *record);
    HKEY root = nullptr;
    DWORD error = OpenServicesRoot(KEY_READ, &root);
    if (error != ERROR_SUCCESS) {
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : error;
    }
    error = ReadRecord(root, name, record);
    RegCloseKey(root);
    return error;
}

// Win32 services run as LocalSystem unless told otherwise; a driver without an object name
// leaves the choice to the I/O system and reports none.
const char* EffectiveAccount(const ServiceRecord& record) {
    if (record.account != nullptr) {
        return record.account;
    }
    return IsWin32Type(record.type) ? kLocalSystem : "";
}

// The manager's order: by the lower-case form of the name.
int CompareNames(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(FoldChar(*a));
        unsigned char y = static_cast<unsigned char>(FoldChar(*b));
        if (x != y || x == 0) {
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    }
}

bool IsValidServiceName(const char* name) {
    if (name == nullptr || name[0] == '\0' || strlen(name) > kMaxServiceName) {
        return false;
    }
    return strchr(name, '\\') == nullptr && strchr(name, '/') == nullptr;
}
