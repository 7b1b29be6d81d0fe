#include "Platform/Posix/advapi32/RegistryCalls.h"

#include "Platform/Posix/advapi32/RegistryHandles.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"
#include "Platform/Posix/common/Utf16Text.h"

#include <string.h>

namespace {

FILETIME FileTimeOf(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

} // namespace

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

LONG OpenKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path, DWORD options,
                   REGSAM samDesired, PHKEY phkResult) {
    KeyRef parent;
    LONG status = ResolveKey(state, hKey, false, &parent);
    RegKey* key = nullptr;
    if (status == ERROR_SUCCESS) {
        bool openLink = (options & REG_OPTION_OPEN_LINK) != 0;
        status = FindPath(*state.root, *parent.key, path, openLink, &key);
    }
    return status == ERROR_SUCCESS ? NewHandle(key, GrantedAccess(samDesired), phkResult) : status;
}

LONG CreateKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path, LPCSTR lpClass,
                     REGSAM samDesired, PHKEY phkResult, LPDWORD disposition) {
    KeyRef parent;
    LONG status = ResolveKey(state, hKey, true, &parent);
    if (status == ERROR_SUCCESS && parent.key == state.performance) {
        status = ERROR_ACCESS_DENIED;
    }
    RegKey* key = nullptr;
    bool created = false;
    if (status == ERROR_SUCCESS) {
        status = CreatePathChecked(*state.root, *parent.key, path, RegistryNow(), &key, &created);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (created && lpClass != nullptr) {
        RegSetClass(*key, AnsiName(lpClass));
    }
    status = NewHandle(key, GrantedAccess(samDesired), phkResult);
    if (status == ERROR_SUCCESS && disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return status;
}

LONG DeleteKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path) {
    KeyRef parent;
    LONG status = ResolveKey(state, hKey, false, &parent);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (parent.predefined && path.empty()) {
        return ERROR_INVALID_HANDLE; // the predefined handle itself is no key that can go
    }
    RegKey* key = nullptr;
    if ((status = FindPath(*state.root, *parent.key, path, false, &key)) != ERROR_SUCCESS) {
        return status;
    }
    RegKey* owner = key->parent;
    if (owner == nullptr || owner == state.root.get() || !key->subkeys.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    size_t index = 0;
    RegFindSubkey(*owner, key->folded, &index);
    RegRemoveSubkey(*owner, index);
    owner->lastWrite = RegistryNow();
    return ERROR_SUCCESS;
}

// Windows counts the terminator the caller forgot when the byte after the data is one.
DWORD CountedStringSize(const BYTE* data, DWORD size) {
    return size > 0 && data[size - 1] != 0 && data[size] == 0 ? size + 1 : size;
}

std::vector<BYTE> StoredData(DWORD type, const BYTE* data, DWORD size) {
    if (!IsStringType(type)) {
        return std::vector<BYTE>(data, data + size);
    }
    std::u16string text = AnsiToUtf16(reinterpret_cast<const char*>(data), size);
    std::vector<BYTE> bytes(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    return bytes;
}

LONG SetValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name,
                    const std::vector<BYTE>& data, DWORD type) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, true, KEY_SET_VALUE, &ref);
    if (status == ERROR_SUCCESS && ref.key == state.performance) {
        status = ERROR_ACCESS_DENIED;
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (RegStoreValue(*ref.key, name, type, data.data(), data.size())) {
        ref.key->lastWrite = RegistryNow();
    }
    return ERROR_SUCCESS;
}

LONG DeleteValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, false, KEY_SET_VALUE, &ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!RegDeleteValueNamed(*ref.key, UpcaseName(name))) {
        return ERROR_FILE_NOT_FOUND;
    }
    ref.key->lastWrite = RegistryNow();
    return ERROR_SUCCESS;
}

namespace {

// String data goes out in the ANSI code page: one byte per UTF-16 unit, an odd trailing byte
// dropped. A terminator is added when the data has none and the buffer has room for it, but the
// size reported leaves it out, as Windows reports it.
LONG CopyValueData(const RegValue& value, LPBYTE data, DWORD capacity, DWORD* size) {
    if (!IsStringType(value.type)) {
        *size = static_cast<DWORD>(value.data.size());
        if (data == nullptr) {
            return ERROR_SUCCESS;
        }
        if (*size > capacity) {
            return ERROR_MORE_DATA;
        }
        if (*size > 0) {
            memcpy(data, value.data.data(), *size);
        }
        return ERROR_SUCCESS;
    }
    DWORD units = static_cast<DWORD>(value.data.size() / 2);
    *size = units;
    if (data == nullptr || units == 0) {
        return ERROR_SUCCESS;
    }
    if (units > capacity) {
        return ERROR_MORE_DATA;
    }
    for (DWORD i = 0; i < units; ++i) {
        char16_t unit = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
        data[i] = static_cast<BYTE>(Utf16UnitToAnsi(unit));
    }
    if (units < capacity && data[units - 1] != 0) {
        data[units] = 0;
    }
    return ERROR_SUCCESS;
}

} // namespace

LONG QueryValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, false, KEY_QUERY_VALUE, &ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegValue* value = RegFindValue(*ref.key, UpcaseName(name));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD needed = 0;
    status = CopyValueData(*value, data, size != nullptr ? *size : 0, &needed);
    if (type != nullptr) {
        *type = value->type;
    }
    if (size != nullptr) {
        *size = needed;
    }
    return status;
}

namespace {

void QueryMaxima(const RegKey& key, DWORD* maxSubkey, DWORD* maxClass, DWORD* maxValueName,
                 DWORD* maxData) {
    *maxSubkey = static_cast<DWORD>(key.maxSubkeyName);
    *maxClass = static_cast<DWORD>(key.maxSubkeyClass);
    *maxValueName = static_cast<DWORD>(key.maxValueName);
    *maxData = static_cast<DWORD>(key.maxValueData);
}

// The key's class into a caller's buffer, as RegQueryInfoKeyA fills it.
LONG CopyClass(const std::u16string& className, LPSTR buffer, LPDWORD capacity) {
    DWORD units = static_cast<DWORD>(className.size());
    if (buffer == nullptr || *capacity == 0) {
        *capacity = units;
        return ERROR_SUCCESS;
    }
    DWORD copied = units < *capacity ? units : *capacity;
    Utf16ToAnsi(className.data(), copied, buffer);
    LONG status = ERROR_SUCCESS;
    if (copied == *capacity) {
        status = ERROR_MORE_DATA;
        --copied;
    }
    buffer[copied] = '\0';
    *capacity = copied;
    return status;
}

} // namespace

LONG QueryInfoLocked(RegistryState& state, HKEY hKey, const KeyInfo& info) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, false, KEY_QUERY_VALUE, &ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const RegKey& key = *ref.key;
    if (info.classSize != nullptr) {
        status = CopyClass(key.className, info.classBuffer, info.classSize);
    }
    DWORD maxima[4];
    QueryMaxima(key, &maxima[0], &maxima[1], &maxima[2], &maxima[3]);
    LPDWORD outputs[] = {info.subkeys,      info.maxSubkey, info.maxClass, info.values,
                         info.maxValueName, info.maxData,   info.security};
    DWORD results[] = {static_cast<DWORD>(key.subkeys.size()),
                       maxima[0],
                       maxima[1],
                       static_cast<DWORD>(key.values.size()),
                       maxima[2],
                       maxima[3],
                       0};
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) {
        if (outputs[i] != nullptr) {
            *outputs[i] = results[i];
        }
    }
    if (info.lastWrite != nullptr) {
        *info.lastWrite = FileTimeOf(key.lastWrite);
    }
    return status;
}

LONG EnumKeyLocked(RegistryState& state, HKEY hKey, DWORD index, const EnumKeyOut& out) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, false, KEY_ENUMERATE_SUB_KEYS, &ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= ref.key->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegKey& subkey = *ref.key->subkeys[index];
    DWORD length = static_cast<DWORD>(subkey.name.size());
    DWORD classLength = static_cast<DWORD>(subkey.className.size());
    if (out.lastWrite != nullptr) {
        *out.lastWrite = FileTimeOf(subkey.lastWrite);
    }
    // A short buffer leaves the caller's sizes as they were.
    bool classShort =
        out.classBuffer != nullptr && out.classSize != nullptr && classLength >= *out.classSize;
    if (length >= *out.nameSize || classShort) {
        return ERROR_MORE_DATA;
    }
    Utf16ToAnsi(subkey.name.data(), length, out.name);
    out.name[length] = '\0';
    *out.nameSize = length;
    if (out.classSize != nullptr) {
        *out.classSize = classLength;
        if (out.classBuffer != nullptr) {
            Utf16ToAnsi(subkey.className.data(), classLength, out.classBuffer);
            out.classBuffer[classLength] = '\0';
        }
    }
    return ERROR_SUCCESS;
}

namespace {

// The name goes out only when the data fitted; a short name buffer gets as much of the name as
// fits, with a terminator, and keeps its size.
LONG CopyValueName(const RegValue& value, const EnumValueOut& out) {
    DWORD length = static_cast<DWORD>(value.name.size());
    if (length < *out.nameSize) {
        Utf16ToAnsi(value.name.data(), length, out.name);
        out.name[length] = '\0';
        *out.nameSize = length;
        return ERROR_SUCCESS;
    }
    if (*out.nameSize > 0) {
        DWORD copied = *out.nameSize - 1;
        Utf16ToAnsi(value.name.data(), copied, out.name);
        out.name[copied] = '\0';
    }
    return ERROR_MORE_DATA;
}

} // namespace

LONG EnumValueLocked(RegistryState& state, HKEY hKey, DWORD index, const EnumValueOut& out) {
    KeyRef ref;
    LONG status = ResolveKeyFor(state, hKey, false, KEY_QUERY_VALUE, &ref);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= ref.key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegValue& value = ref.key->values[index];
    DWORD needed = 0;
    status = CopyValueData(value, out.data, out.dataSize != nullptr ? *out.dataSize : 0, &needed);
    if (status == ERROR_SUCCESS) {
        status = CopyValueName(value, out);
    }
    if (out.type != nullptr) {
        *out.type = value.type;
    }
    if (out.dataSize != nullptr) {
        *out.dataSize = needed;
    }
    return status;
}
