#include "Platform/Posix/advapi32/RegistryHandles.h"

#include "Platform/Posix/advapi32/RegistryPaths.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/kernel32/Errors.h"

#include <new>

namespace {

constexpr char16_t kClassesPath[] = u"Machine\\Software\\Classes";
constexpr char16_t kCurrentConfigPath[] =
    u"Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current";

struct KeyHandle {
    HandleObject header;
    RegKeyPtr key;
    DWORD access;
};

void DestroyKeyHandle(HandleObject* object) {
    delete reinterpret_cast<KeyHandle*>(object);
}

const char16_t* PredefinedPath(DWORD token) {
    switch (token) {
    case 0x80000000u:
        return kClassesPath;
    case 0x80000002u:
        return u"Machine";
    case 0x80000003u:
        return u"User";
    case 0x80000005u:
        return kCurrentConfigPath;
    case 0x80000006u:
        return u"DynData";
    default:
        return nullptr;
    }
}

// A predefined key. Classes and the current configuration are created at first write, as Wine
// creates them at first use; until then a read sees them empty.
LONG ResolvePredefined(RegistryState& state, DWORD token, bool create, KeyRef* ref) {
    ref->predefined = true;
    const char16_t* path = token == 0x80000001u ? state.currentUser.c_str() : PredefinedPath(token);
    if (path == nullptr) {
        ref->key = state.performance;
        ref->access = KEY_READ;
        return ERROR_SUCCESS;
    }
    ref->access = KEY_ALL_ACCESS;
    RegKey* key = nullptr;
    if (create) {
        key = CreatePath(*state.root, *state.root, path, RegistryNow());
    } else if (FindPath(*state.root, *state.root, path, false, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    ref->key = key != nullptr ? key->shared_from_this() : RegKeyNew(u"", 0);
    return ERROR_SUCCESS;
}

LONG RequireAccess(const KeyRef& ref, DWORD needed) {
    return (ref.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

} // namespace

// The low 32 bits of a predefined key, or 0 for any other handle value. Windows looks at the
// low half only, so the zero-extended forms work as well.
DWORD PredefinedToken(HKEY hkey) {
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(hkey);
    ULONG_PTR high = value >> 32;
    DWORD low = static_cast<DWORD>(value);
    bool known =
        (low >= 0x80000000u && low <= 0x80000006u) || low == 0x80000050u || low == 0x80000060u;
    return (high == 0 || high == 0xFFFFFFFFu) && known ? low : 0;
}

// The key behind a handle, with the access it was opened with.
LONG ResolveKey(RegistryState& state, HKEY hkey, bool create, KeyRef* ref) {
    DWORD token = PredefinedToken(hkey);
    if (token != 0) {
        return ResolvePredefined(state, token, create, ref);
    }
    DWORD savedError = GetLastError();
    KeyHandle* handle = HandleAcquireAs<KeyHandle>(hkey, HandleKind::RegistryKey);
    SetLastError(savedError);
    if (handle == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    ref->key = handle->key;
    ref->access = handle->access;
    HandleObjectRelease(&handle->header);
    return ref->key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

// The key behind a handle that was opened with at least the access a call needs.
LONG ResolveKeyFor(RegistryState& state, HKEY hkey, bool create, DWORD needed, KeyRef* ref) {
    LONG status = ResolveKey(state, hkey, create, ref);
    return status == ERROR_SUCCESS ? RequireAccess(*ref, needed) : status;
}

DWORD GrantedAccess(REGSAM wanted) {
    DWORD access = wanted & ~static_cast<DWORD>(KEY_WOW64_RES);
    if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        access |= KEY_ALL_ACCESS;
    }
    if (access & GENERIC_READ) {
        access |= KEY_READ;
    }
    if (access & GENERIC_WRITE) {
        access |= KEY_WRITE;
    }
    if (access & GENERIC_EXECUTE) {
        access |= KEY_EXECUTE;
    }
    return access & (KEY_ALL_ACCESS | SYNCHRONIZE);
}

LONG NewHandle(RegKey* key, DWORD access, PHKEY result) {
    KeyHandle* handle = new (std::nothrow) KeyHandle;
    if (handle == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    HandleObjectInit(&handle->header, HandleKind::RegistryKey, DestroyKeyHandle);
    handle->key = key->shared_from_this();
    handle->access = access;
    DWORD savedError = GetLastError();
    HANDLE inserted = HandleInsert(&handle->header);
    DWORD insertError = GetLastError();
    SetLastError(savedError);
    if (inserted == nullptr) {
        return static_cast<LONG>(insertError);
    }
    *result = static_cast<HKEY>(inserted);
    return ERROR_SUCCESS;
}
