#include "Platform/Posix/advapi32/Registry.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/advapi32/RegistryFile.h"
#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/advapi32/RegistryTree.h"

#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <new>

namespace {

// Wine's user: HKEY_CURRENT_USER is this key of HKEY_USERS.
constexpr char16_t kCurrentUserPath[] = u"User\\S-1-5-21-0-0-0-1000";
constexpr char16_t kClassesPath[] = u"Machine\\Software\\Classes";
constexpr char16_t kCurrentConfigPath[] =
    u"Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current";

// The A functions convert a key path into a fixed buffer of 261 UTF-16 units first, as Wine
// does: a longer path fails before the registry is looked at.
constexpr size_t kMaxKeyPathBytes = 260;

struct RegistryState {
    RegKeyPtr root;
    RegKeyPtr performance; // HKEY_PERFORMANCE_*: no real key, always empty
};

struct KeyHandle {
    HandleObject header;
    RegKeyPtr key;
    DWORD access;
};

// Constant-initialised: usable before any static initialiser has run.
pthread_rwlock_t g_lock = PTHREAD_RWLOCK_INITIALIZER;
RegistryState* g_state = nullptr;
std::atomic<RegistryFaultHook> g_faultHook{nullptr};
std::atomic<void*> g_faultContext{nullptr};

void DestroyKeyHandle(HandleObject* object) {
    delete reinterpret_cast<KeyHandle*>(object);
}

// ---- loading ----

RegKey* CreatePath(RegKey& registryRoot, RegKey& start, const std::u16string& path, ULONGLONG time);

void LoadPrefixFile(RegistryState& state, const char* prefix, const char* file,
                    const char16_t* basePath) {
    char path[PATH_MAX];
    int written = snprintf(path, sizeof path, "%s/%s", prefix, file);
    RegKey* base = CreatePath(*state.root, *state.root, basePath, RegistryNow());
    if (base != nullptr && written > 0 && static_cast<size_t>(written) < sizeof path) {
        RegistryLoadFile(path, *base, *state.root);
    }
}

RegistryState* BuildState(RegistryState* state) {
    ULONGLONG now = RegistryNow();
    state->root = RegKeyNew(u"", now);
    state->performance = RegKeyNew(u"PerfData", now);
    CreatePath(*state->root, *state->root, u"DynData", now);
    char prefix[PATH_MAX];
    bool hasPrefix = WinePrefixFolder(prefix, sizeof prefix);
    if (hasPrefix) {
        LoadPrefixFile(*state, prefix, "system.reg", u"Machine");
        LoadPrefixFile(*state, prefix, "userdef.reg", u"User\\.Default");
        LoadPrefixFile(*state, prefix, "user.reg", kCurrentUserPath);
    } else {
        CreatePath(*state->root, *state->root, u"Machine", now);
        CreatePath(*state->root, *state->root, kCurrentUserPath, now);
    }
    return state;
}

// Null when memory runs out; the lock is held, so nothing may be thrown past the caller.
RegistryState* LoadState() noexcept {
    RegistryState* state = new (std::nothrow) RegistryState;
    if (state == nullptr) {
        return nullptr;
    }
    try {
        return BuildState(state);
    } catch (...) {
        if (state->root != nullptr) {
            RegMarkTreeDeleted(*state->root);
        }
        delete state;
        return nullptr;
    }
}

void DropState() {
    if (g_state != nullptr) {
        RegMarkTreeDeleted(*g_state->root);
        delete g_state;
        g_state = nullptr;
    }
}

// Holds the registry lock for one call, loading the tree first if it is not there.
class RegistryLock {
  public:
    explicit RegistryLock(bool write) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            Lock(write);
            if (g_state != nullptr) {
                return;
            }
            pthread_rwlock_unlock(&g_lock);
            Lock(true);
            if (g_state == nullptr) {
                g_state = LoadState();
            }
            pthread_rwlock_unlock(&g_lock);
        }
        Lock(write);
    }
    ~RegistryLock() { pthread_rwlock_unlock(&g_lock); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

    // Null only when the tree could not be built.
    RegistryState* State() const { return g_state; }

  private:
    static void Lock(bool write) {
        if (write) {
            pthread_rwlock_wrlock(&g_lock);
        } else {
            pthread_rwlock_rdlock(&g_lock);
        }
    }
};

// ---- names and paths ----

std::u16string AnsiName(LPCSTR name) {
    return name == nullptr ? std::u16string() : AnsiToUtf16(name, strlen(name));
}

// A key path as the A functions take it; ERROR_MORE_DATA when it is too long to convert.
LONG KeyPathFromAnsi(LPCSTR name, std::u16string* path) {
    if (name != nullptr && strlen(name) > kMaxKeyPathBytes) {
        return ERROR_MORE_DATA;
    }
    *path = AnsiName(name);
    return ERROR_SUCCESS;
}

// Walks path below start as Windows opens it: every key on the way that is a link is followed,
// the last one unless openLink asks for the link itself.
LONG FindPath(RegKey& registryRoot, RegKey& start, const std::u16string& path, bool openLink,
              RegKey** found) {
    if (!path.empty() && path[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    RegKey* key = &start;
    size_t position = 0;
    std::u16string token;
    bool first = true;
    while (RegNextPathToken(path, &position, &token)) {
        if (!first && (key = RegFollowLink(registryRoot, key)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        size_t index = 0;
        if ((key = RegFindSubkey(*key, UpcaseName(token), &index)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        first = false;
    }
    if (!openLink && (key = RegFollowLink(registryRoot, key)) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *found = key;
    return ERROR_SUCCESS;
}

// Creates the keys of path that are missing; *created tells whether the last one was.
LONG CreatePathChecked(RegKey& registryRoot, RegKey& start, const std::u16string& path,
                       ULONGLONG time, RegKey** result, bool* created) {
    if (!path.empty() && path[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    RegKey* key = &start;
    size_t position = 0;
    std::u16string token;
    *created = false;
    while (RegNextPathToken(path, &position, &token)) {
        if (token.size() > kMaxKeyNameUnits) {
            return ERROR_INVALID_PARAMETER;
        }
        size_t index = 0;
        RegKey* subkey = RegFindSubkey(*key, UpcaseName(token), &index);
        *created = subkey == nullptr;
        if (subkey == nullptr && (subkey = RegInsertSubkey(*key, index, token, time)) != nullptr) {
            key->lastWrite = time;
        }
        if (subkey == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if ((key = RegFollowLink(registryRoot, subkey)) == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    *result = key;
    return ERROR_SUCCESS;
}

RegKey* CreatePath(RegKey& registryRoot, RegKey& start, const std::u16string& path,
                   ULONGLONG time) {
    RegKey* key = nullptr;
    bool created = false;
    return CreatePathChecked(registryRoot, start, path, time, &key, &created) == ERROR_SUCCESS
               ? key
               : nullptr;
}

// ---- handles ----

struct KeyRef {
    RegKeyPtr key;
    DWORD access = 0;
    bool predefined = false;
};

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

const char16_t* PredefinedPath(DWORD token) {
    switch (token) {
    case 0x80000000u:
        return kClassesPath;
    case 0x80000001u:
        return kCurrentUserPath;
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
    const char16_t* path = PredefinedPath(token);
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

LONG RequireAccess(const KeyRef& ref, DWORD needed) {
    return (ref.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
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

LONG FaultFor(RegistryCall call) {
    RegistryFaultHook hook = g_faultHook.load();
    return hook != nullptr ? hook(call, g_faultContext.load()) : ERROR_SUCCESS;
}

FILETIME FileTimeOf(ULONGLONG ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// ---- the calls, under the lock ----

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

struct KeyInfo {
    LPSTR classBuffer;
    LPDWORD classSize;
    LPDWORD subkeys, maxSubkey, maxClass, values, maxValueName, maxData, security;
    PFILETIME lastWrite;
};

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

struct EnumKeyOut {
    LPSTR name;
    LPDWORD nameSize;
    LPSTR classBuffer;
    LPDWORD classSize;
    PFILETIME lastWrite;
};

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

struct EnumValueOut {
    LPSTR name;
    LPDWORD nameSize;
    LPDWORD type;
    LPBYTE data;
    LPDWORD dataSize;
};

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

} // namespace

// ---- the Win32 functions: argument checks, then the work under the lock ----

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    LONG fault = FaultFor(RegistryCall::OpenKey);
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
    try {
        std::u16string path;
        LONG status = KeyPathFromAnsi(lpSubKey, &path);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryLock lock(false);
        return lock.State() == nullptr
                   ? ERROR_OUTOFMEMORY
                   : OpenKeyLocked(*lock.State(), hKey, path, ulOptions, samDesired, phkResult);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    LONG fault = FaultFor(RegistryCall::CreateKey);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (phkResult == nullptr) {
        return ERROR_BADKEY;
    }
    if (Reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        std::u16string path;
        LONG status = KeyPathFromAnsi(lpSubKey, &path);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryLock lock(true);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : CreateKeyLocked(*lock.State(), hKey, path, lpClass,
                                                         samDesired, phkResult, lpdwDisposition);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
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
    LONG fault = FaultFor(RegistryCall::DeleteKey);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        std::u16string path;
        LONG status = KeyPathFromAnsi(lpSubKey, &path);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        RegistryLock lock(true);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : DeleteKeyLocked(*lock.State(), hKey, path);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    LONG fault = FaultFor(RegistryCall::SetValue);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpData == nullptr && cbData != 0) {
        return ERROR_NOACCESS;
    }
    try {
        std::u16string name = AnsiName(lpValueName);
        if (name.size() > kMaxValueNameUnits) {
            return ERROR_FILENAME_EXCED_RANGE;
        }
        DWORD size = IsStringType(dwType) ? CountedStringSize(lpData, cbData) : cbData;
        std::vector<BYTE> data = StoredData(dwType, lpData, size);
        RegistryLock lock(true);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : SetValueLocked(*lock.State(), hKey, name, data, dwType);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    LONG fault = FaultFor(RegistryCall::DeleteValue);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    try {
        std::u16string name = AnsiName(lpValueName);
        RegistryLock lock(true);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : DeleteValueLocked(*lock.State(), hKey, name);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    LONG fault = FaultFor(RegistryCall::QueryValue);
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
    try {
        std::u16string name = AnsiName(lpValueName);
        RegistryLock lock(false);
        return lock.State() == nullptr
                   ? ERROR_OUTOFMEMORY
                   : QueryValueLocked(*lock.State(), hKey, name, lpType, lpData, lpcbData);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    LONG fault = FaultFor(RegistryCall::QueryInfoKey);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpClass != nullptr && lpcchClass == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyInfo info = {
        lpClass,   lpcchClass,          lpcSubKeys,      lpcbMaxSubKeyLen,       lpcbMaxClassLen,
        lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime};
    try {
        RegistryLock lock(false);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : QueryInfoLocked(*lock.State(), hKey, info);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
    LONG fault = FaultFor(RegistryCall::EnumKey);
    if (fault != ERROR_SUCCESS) {
        return fault;
    }
    if (lpReserved != nullptr || lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    EnumKeyOut out = {lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime};
    try {
        RegistryLock lock(false);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : EnumKeyLocked(*lock.State(), hKey, dwIndex, out);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    LONG fault = FaultFor(RegistryCall::EnumValue);
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
    try {
        RegistryLock lock(false);
        return lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                       : EnumValueLocked(*lock.State(), hKey, dwIndex, out);
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

} // extern "C"

// ---- layer-internal ----

void RegistryResetForTests() {
    pthread_rwlock_wrlock(&g_lock);
    DropState();
    pthread_rwlock_unlock(&g_lock);
}

LSTATUS RegistrySetKeyTimeForTests(HKEY key, const FILETIME* time) {
    if (time == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    try {
        RegistryLock lock(true);
        KeyRef ref;
        LONG status = lock.State() == nullptr ? ERROR_OUTOFMEMORY
                                              : ResolveKey(*lock.State(), key, true, &ref);
        if (status == ERROR_SUCCESS) {
            ref.key->lastWrite =
                (static_cast<ULONGLONG>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
        }
        return status;
    } catch (...) {
        return ERROR_OUTOFMEMORY;
    }
}

void RegistrySetFaultHookForTests(RegistryFaultHook hook, void* context) {
    g_faultContext.store(context);
    g_faultHook.store(hook);
}
