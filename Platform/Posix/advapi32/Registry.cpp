// The registry functions: the fault plan and the argument checks Windows makes before it looks at
// the registry, then the work under the registry lock (RegistryCalls.h).
#include "Platform/Posix/advapi32/Registry.h"

#include "Platform/Posix/advapi32/RegistryCalls.h"
#include "Platform/Posix/advapi32/RegistryHandles.h"
#include "Platform/Posix/advapi32/RegistryPaths.h"
#include "Platform/Posix/advapi32/RegistryState.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/kernel32/Errors.h"

namespace {

LONG FaultFor(LayerCall call) {
    return static_cast<LONG>(FaultCheck(call));
}

// Runs work on the tree under the registry lock; ERROR_OUTOFMEMORY when the tree cannot be built.
// A change to a Windows volume's registry is refused as Windows refuses a write to a key of a
// hive it loaded read-only: access denied.
template <typename Work> LONG UnderLock(bool write, Work work) {
    RegistryLock lock(write);
    if (lock.State() == nullptr) {
        return ERROR_OUTOFMEMORY;
    }
    return write && lock.State()->readOnly ? ERROR_ACCESS_DENIED : work(*lock.State());
}

// The same for a call on a key path, which is converted before the lock is taken.
template <typename Work> LONG UnderLockOnPath(bool write, LPCSTR subKey, Work work) {
    std::u16string path;
    LONG status = KeyPathFromAnsi(subKey, &path);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return UnderLock(write, [&](RegistryState& state) { return work(state, path); });
}

} // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    LONG fault = FaultFor(LayerCall::RegOpenKeyExA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    bool emptyName = lpSubKey == nullptr || lpSubKey[0] == '\0';
    DWORD token = PredefinedToken(hKey);
    if (phkResult != nullptr && emptyName && token >= 0x80000000u && token <= 0x80000006u) {
        *phkResult = hKey; // a predefined key opens as itself
        return ERROR_SUCCESS;
    }
    if (token == 0x80000000u && lpSubKey != nullptr && lpSubKey[0] == '\\') {
        ++lpSubKey; // Windows lets a path below HKEY_CLASSES_ROOT start with one backslash
    }
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    return GuardMemoryStatus(LayerCall::RegOpenKeyExA, [&] {
        return UnderLockOnPath(false, lpSubKey, [&](RegistryState& state, const auto& path) {
            return OpenKeyLocked(state, hKey, path, ulOptions, samDesired, phkResult);
        });
    });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    LONG fault = FaultFor(LayerCall::RegCreateKeyExA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (phkResult == nullptr) {
        return ERROR_BADKEY;
    }
    if (Reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return GuardMemoryStatus(LayerCall::RegCreateKeyExA, [&] {
        return UnderLockOnPath(true, lpSubKey, [&](RegistryState& state, const auto& path) {
            return CreateKeyLocked(state, hKey, path, lpClass, samDesired, phkResult,
                                   lpdwDisposition);
        });
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (reinterpret_cast<ULONG_PTR>(hKey) >= 0x80000000u) {
        return ERROR_SUCCESS; // predefined keys are never closed
    }
    DWORD savedError = GetLastError();
    BOOL closed = HandleClose(static_cast<HANDLE>(hKey), HandleKind::RegistryKey);
    SetLastError(savedError);
    return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    LONG fault = FaultFor(LayerCall::RegDeleteKeyA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return GuardMemoryStatus(LayerCall::RegDeleteKeyA, [&] {
        return UnderLockOnPath(true, lpSubKey, [&](RegistryState& state, const auto& path) {
            return DeleteKeyLocked(state, hKey, path);
        });
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    LONG fault = FaultFor(LayerCall::RegSetValueExA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpData == nullptr && cbData != 0) {
        return ERROR_NOACCESS;
    }
    return GuardMemoryStatus(LayerCall::RegSetValueExA, [&] {
        std::u16string name = AnsiName(lpValueName);
        if (name.size() > kMaxValueNameUnits) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        DWORD size = IsStringType(dwType) ? CountedStringSize(lpData, cbData) : cbData;
        std::vector<BYTE> data = StoredData(dwType, lpData, size);
        return UnderLock(true, [&](RegistryState& state) {
            return SetValueLocked(state, hKey, name, data, dwType);
        });
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    LONG fault = FaultFor(LayerCall::RegDeleteValueA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    return GuardMemoryStatus(LayerCall::RegDeleteValueA, [&] {
        std::u16string name = AnsiName(lpValueName);
        return UnderLock(
            true, [&](RegistryState& state) { return DeleteValueLocked(state, hKey, name); });
    });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    LONG fault = FaultFor(LayerCall::RegQueryValueExA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (lpData == nullptr && lpcbData != nullptr) {
        *lpcbData = 0;
    }
    if (lpType != nullptr) {
        *lpType = REG_NONE;
    }
    return GuardMemoryStatus(LayerCall::RegQueryValueExA, [&] {
        std::u16string name = AnsiName(lpValueName);
        return UnderLock(false, [&](RegistryState& state) {
            return QueryValueLocked(state, hKey, name, lpType, lpData, lpcbData);
        });
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    LONG fault = FaultFor(LayerCall::RegQueryInfoKeyA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpClass != nullptr && lpcchClass == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyInfo info = {
        lpClass,   lpcchClass,          lpcSubKeys,      lpcbMaxSubKeyLen,       lpcbMaxClassLen,
        lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime};
    return GuardMemoryStatus(LayerCall::RegQueryInfoKeyA, [&] {
        return UnderLock(false,
                         [&](RegistryState& state) { return QueryInfoLocked(state, hKey, info); });
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
    LONG fault = FaultFor(LayerCall::RegEnumKeyExA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpReserved != nullptr || lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    EnumKeyOut out = {lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime};
    return GuardMemoryStatus(LayerCall::RegEnumKeyExA, [&] {
        return UnderLock(
            false, [&](RegistryState& state) { return EnumKeyLocked(state, hKey, dwIndex, out); });
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    LONG fault = FaultFor(LayerCall::RegEnumValueA);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpcchValueName == nullptr || lpValueName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((lpData != nullptr && lpcbData == nullptr) || lpReserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    EnumValueOut out = {lpValueName, lpcchValueName, lpType, lpData, lpcbData};
    return GuardMemoryStatus(LayerCall::RegEnumValueA, [&] {
        return UnderLock(false, [&](RegistryState& state) {
            return EnumValueLocked(state, hKey, dwIndex, out);
        });
    });
}

} // extern "C"

LSTATUS RegistrySetKeyTimeForTests(HKEY key, const FILETIME* time) {
    if (time == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return GuardMemoryStatus(LayerCall::RegSetValueExA, [&] {
        return UnderLock(true, [&](RegistryState& state) {
            KeyRef ref;
            LONG status = ResolveKey(state, key, true, &ref);
            if (status == ERROR_SUCCESS) {
                ref.key->lastWrite =
                    (static_cast<ULONGLONG>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
            }
            return status;
        });
    });
}
