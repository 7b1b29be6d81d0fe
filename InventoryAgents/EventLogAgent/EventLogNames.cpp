#include "InventoryAgents/EventLogAgent/EventLogNames.h"

#include "Common/AsciiCase.h"
#include "Common/ScopedResource.h"

namespace {

// The values Windows documents for a log key, and those real machines keep there besides
// (Isolation, MaxSizeUpper and Security on the Security log).
constexpr const char* kLogSettings[] = {
    "AutoBackupLogFiles",  "CustomSD", "DisplayNameFile", "DisplayNameID", "File",
    "Isolation",           "MaxSize",  "MaxSizeUpper",    "PrimaryModule", "Retention",
    "RestrictGuestAccess", "Security", "Sources"};

// Longer than any setting's name: a longer value name is not one of them.
constexpr DWORD kSettingNameSize = 32;

bool IsLogSetting(const char* valueName) {
    for (const char* setting : kLogSettings) {
        if (EqualsIgnoringAsciiCase(setting, valueName)) {
            return true;
        }
    }
    return false;
}

// Whether any of the key's first count values is a log setting; true too when a value cannot
// be read, since the key may then be a log.
bool HoldsLogSetting(HKEY key, DWORD count) {
    for (DWORD index = 0; index < count; ++index) {
        char valueName[kSettingNameSize];
        DWORD length = kSettingNameSize;
        LSTATUS status =
            RegEnumValueA(key, index, valueName, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return false;
        }
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS || IsLogSetting(valueName)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool IsEventLogKey(HKEY eventLogKey, const char* name) {
    if (name[0] == '\0') {
        return true;
    }
    ScopedRegKey key;
    DWORD subkeys = 0, values = 0;
    if (RegOpenKeyExA(eventLogKey, name, 0, KEY_READ, key.receive()) != ERROR_SUCCESS ||
        RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return true;
    }
    return subkeys > 0 || values == 0 || HoldsLogSetting(key.get(), values);
}
