// The registry functions' work, done under the registry lock once their arguments are checked:
// each takes the tree and returns the LSTATUS its function returns.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/RegistryState.h"

#include <string>
#include <vector>

bool IsStringType(DWORD type);

// Windows counts the terminator the caller forgot when the byte after the data is one.
DWORD CountedStringSize(const BYTE* data, DWORD size);

// Data as the registry keeps it: strings in UTF-16, anything else as given.
std::vector<BYTE> StoredData(DWORD type, const BYTE* data, DWORD size);

LONG OpenKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path, DWORD options,
                   REGSAM samDesired, PHKEY phkResult);
LONG CreateKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path, LPCSTR lpClass,
                     REGSAM samDesired, PHKEY phkResult, LPDWORD disposition);
LONG DeleteKeyLocked(RegistryState& state, HKEY hKey, const std::u16string& path);
LONG SetValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name,
                    const std::vector<BYTE>& data, DWORD type);
LONG DeleteValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name);
LONG QueryValueLocked(RegistryState& state, HKEY hKey, const std::u16string& name, LPDWORD type,
                      LPBYTE data, LPDWORD size);

struct KeyInfo {
    LPSTR classBuffer;
    LPDWORD classSize;
    LPDWORD subkeys, maxSubkey, maxClass, values, maxValueName, maxData, security;
    PFILETIME lastWrite;
};

LONG QueryInfoLocked(RegistryState& state, HKEY hKey, const KeyInfo& info);

struct EnumKeyOut {
    LPSTR name;
    LPDWORD nameSize;
    LPSTR classBuffer;
    LPDWORD classSize;
    PFILETIME lastWrite;
};

LONG EnumKeyLocked(RegistryState& state, HKEY hKey, DWORD index, const EnumKeyOut& out);

struct EnumValueOut {
    LPSTR name;
    LPDWORD nameSize;
    LPDWORD type;
    LPBYTE data;
    LPDWORD dataSize;
};

LONG EnumValueLocked(RegistryState& state, HKEY hKey, DWORD index, const EnumValueOut& out);
