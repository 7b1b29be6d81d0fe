#include "Platform/Posix/advapi32/ServiceRecords.h"

#include "Platform/Posix/advapi32/Registry.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

constexpr char kServicesKey[] = "System\\CurrentControlSet\\Services";

// A string value with two NULs after its data, so that a value stored without its terminator
// (or a multi-string without its final one) still ends; null when absent or of another type.
char* ReadString(HKEY key, const char* name, bool multi, DWORD* size) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        return nullptr;
    }
    bool wanted = multi ? type == REG_MULTI_SZ : (type == REG_SZ || type == REG_EXPAND_SZ);
    char* text = wanted ? static_cast<char*>(calloc(bytes + 2, 1)) : nullptr;
    if (text != nullptr &&
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS) {
        free(text);
        return nullptr;
    }
    if (text != nullptr && size != nullptr) {
        *size = bytes;
    }
    return text;
}

// A missing DWORD reads as 0, as the manager treats it.
DWORD ReadDword(HKEY key, const char* name) {
    DWORD type = 0, value = 0, bytes = sizeof value;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes);
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

// True when the key names an installed service; the record is then filled and the caller frees
// it.
bool ReadRecord(HKEY root, const char* name, ServiceRecord* record) {
    memset(record, 0, sizeof *record);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, name, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    record->type = ReadDword(key, "Type");
    record->start = ReadDword(key, "Start");
    record->errorControl = ReadDword(key, "ErrorControl");
    record->tag = ReadDword(key, "Tag");
    record->image = ReadString(key, "ImagePath", false, nullptr);
    record->group = ReadString(key, "Group", false, nullptr);
    record->dependencies = ReadString(key, "DependOnService", true, &record->dependenciesSize);
    record->account = ReadString(key, "ObjectName", false, nullptr);
    record->display = ReadString(key, "DisplayName", false, nullptr);
    record->description = ReadString(key, "Description", false, nullptr);
    RegCloseKey(key);
    if (!IsServiceConfig(record->type, record->start, record->image, record->account)) {
        FreeRecord(record);
        return false;
    }
    return true;
}

bool ReadRecordByName(const char* name, ServiceRecord* record) {
    HKEY root = OpenServicesRoot(KEY_READ, false);
    bool found = root != nullptr && ReadRecord(root, name, record);
    if (root != nullptr) {
        RegCloseKey(root);
    }
    return found;
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
