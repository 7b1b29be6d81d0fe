#include "Platform/Posix/advapi32/Services.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <atomic>

namespace {

constexpr char kServicesKey[] = "System\\CurrentControlSet\\Services";
constexpr char kLocalSystem[] = "LocalSystem";
// Windows refuses longer service names; a registry key name may not be longer anyway.
constexpr size_t kMaxServiceName = 256;

// ---- configuration as the registry keeps it ----

struct ServiceRecord {
    DWORD type, start, errorControl, tag;
    char* image;
    char* group;
    char* dependencies; // REG_MULTI_SZ, double NUL
    DWORD dependenciesSize;
    char* account; // ObjectName; null when the key has none
    char* display;
    char* description;
};

void FreeRecord(ServiceRecord* record) {
    free(record->image);
    free(record->group);
    free(record->dependencies);
    free(record->account);
    free(record->display);
    free(record->description);
    memset(record, 0, sizeof *record);
}

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

// ---- names ----

char FoldChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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

// ---- what the registry does not hold: current states, open handles, pending deletions ----

struct RuntimeEntry {
    char* name;
    DWORD state;
    unsigned openHandles;
    bool deletePending;
};

// Constant-initialised: the manager works before any static initialiser has run.
pthread_mutex_t g_runtimeLock = PTHREAD_MUTEX_INITIALIZER;
RuntimeEntry* g_runtime = nullptr;
size_t g_runtimeCount = 0;
size_t g_runtimeCapacity = 0;
std::atomic<ServiceFaultHook> g_faultHook{nullptr};
std::atomic<void*> g_faultContext{nullptr};

RuntimeEntry* FindRuntimeLocked(const char* name) {
    for (size_t i = 0; i < g_runtimeCount; ++i) {
        if (CompareNames(g_runtime[i].name, name) == 0) {
            return &g_runtime[i];
        }
    }
    return nullptr;
}

RuntimeEntry* FindOrAddRuntimeLocked(const char* name) {
    RuntimeEntry* entry = FindRuntimeLocked(name);
    if (entry != nullptr) {
        return entry;
    }
    if (g_runtimeCount == g_runtimeCapacity) {
        size_t capacity = g_runtimeCapacity == 0 ? 16 : g_runtimeCapacity * 2;
        void* grown = realloc(g_runtime, capacity * sizeof(RuntimeEntry));
        if (grown == nullptr) {
            return nullptr;
        }
        g_runtime = static_cast<RuntimeEntry*>(grown);
        g_runtimeCapacity = capacity;
    }
    char* copy = strdup(name);
    if (copy == nullptr) {
        return nullptr;
    }
    g_runtime[g_runtimeCount] = {copy, SERVICE_STOPPED, 0, false};
    return &g_runtime[g_runtimeCount++];
}

void RemoveRuntimeLocked(RuntimeEntry* entry) {
    free(entry->name);
    *entry = g_runtime[--g_runtimeCount];
}

DWORD CurrentState(const char* name) {
    pthread_mutex_lock(&g_runtimeLock);
    RuntimeEntry* entry = FindRuntimeLocked(name);
    DWORD state = entry != nullptr ? entry->state : SERVICE_STOPPED;
    pthread_mutex_unlock(&g_runtimeLock);
    return state;
}

DWORD FaultFor(ServiceCall call, const char* name) {
    ServiceFaultHook hook = g_faultHook.load();
    return hook == nullptr ? ERROR_SUCCESS : hook(call, name, g_faultContext.load());
}

// ---- handles ----

struct ManagerHandle {
    HandleObject header;
    DWORD access;
};

struct ServiceHandle {
    HandleObject header;
    DWORD access;
    char name[kMaxServiceName + 1];
};

void DestroyManager(HandleObject* object) {
    free(reinterpret_cast<ManagerHandle*>(object));
}

bool DeleteTree(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return false;
    }
    char child[kMaxServiceName];
    DWORD length = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           DeleteTree(key, child)) {
        length = sizeof child;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

// A service marked for deletion goes when its last handle closes, as on Windows.
void DestroyService(HandleObject* object) {
    ServiceHandle* handle = reinterpret_cast<ServiceHandle*>(object);
    pthread_mutex_lock(&g_runtimeLock);
    RuntimeEntry* entry = FindRuntimeLocked(handle->name);
    bool remove = false;
    if (entry != nullptr && entry->openHandles > 0 && --entry->openHandles == 0) {
        remove = entry->deletePending;
        // An entry that holds nothing the registry lacks goes too: the table stays as small as
        // the number of services with a handle open or a state set, however many are queried.
        if (remove || entry->state == SERVICE_STOPPED) {
            RemoveRuntimeLocked(entry);
        }
    }
    pthread_mutex_unlock(&g_runtimeLock);
    HKEY root = remove ? OpenServicesRoot(KEY_ALL_ACCESS, false) : nullptr;
    if (root != nullptr) {
        DeleteTree(root, handle->name);
        RegCloseKey(root);
    }
    free(handle);
}

DWORD MapManagerAccess(DWORD access) {
    if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        access |= SC_MANAGER_ALL_ACCESS;
    }
    if (access & GENERIC_READ) {
        access |=
            STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    }
    if (access & GENERIC_WRITE) {
        access |= STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    }
    if (access & GENERIC_EXECUTE) {
        access |= STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    }
    return access;
}

DWORD MapServiceAccess(DWORD access) {
    if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        access |= SERVICE_ALL_ACCESS;
    }
    if (access & GENERIC_READ) {
        access |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                  SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;
    }
    if (access & GENERIC_WRITE) {
        access |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
    }
    if (access & GENERIC_EXECUTE) {
        access |= STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                  SERVICE_USER_DEFINED_CONTROL;
    }
    return access;
}

// The service behind a handle with a reference taken, if the handle grants `needed`; null with
// the last error set otherwise. The caller releases it.
ServiceHandle* AcquireService(SC_HANDLE handle, DWORD needed) {
    ServiceHandle* service =
        HandleAcquireAs<ServiceHandle>(reinterpret_cast<HANDLE>(handle), HandleKind::Service);
    if (service != nullptr && (service->access & needed) != needed) {
        HandleObjectRelease(&service->header);
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return service;
}

bool ManagerGrants(SC_HANDLE handle, DWORD needed) {
    ManagerHandle* manager = HandleAcquireAs<ManagerHandle>(reinterpret_cast<HANDLE>(handle),
                                                            HandleKind::ServiceManager);
    if (manager == nullptr) {
        return false;
    }
    bool granted = (manager->access & needed) == needed;
    HandleObjectRelease(&manager->header);
    return granted || FailWith(ERROR_ACCESS_DENIED);
}

// A handle on an installed service that is not marked for deletion.
SC_HANDLE NewServiceHandle(const char* name, DWORD access) {
    pthread_mutex_lock(&g_runtimeLock);
    RuntimeEntry* entry = FindOrAddRuntimeLocked(name);
    DWORD error = entry == nullptr ? ERROR_NOT_ENOUGH_MEMORY
                                   : (entry->deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE : 0);
    ServiceHandle* handle =
        error == 0 ? static_cast<ServiceHandle*>(calloc(1, sizeof(ServiceHandle))) : nullptr;
    if (handle != nullptr) {
        ++entry->openHandles;
    } else if (error == 0) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    pthread_mutex_unlock(&g_runtimeLock);
    if (handle == nullptr) {
        FailWith(error);
        return nullptr;
    }
    HandleObjectInit(&handle->header, HandleKind::Service, DestroyService);
    handle->access = MapServiceAccess(access);
    strncpy(handle->name, name, kMaxServiceName);
    return reinterpret_cast<SC_HANDLE>(HandleInsert(&handle->header));
}

// ---- enumeration ----

struct ListedService {
    char* name;
    char* display;
    DWORD type;
    DWORD state;
};

struct ServiceList {
    ListedService* items;
    size_t count;
    size_t capacity;
};

void FreeList(ServiceList* list) {
    for (size_t i = 0; i < list->count; ++i) {
        free(list->items[i].name);
        free(list->items[i].display);
    }
    free(list->items);
}

bool InGroup(const ServiceRecord& record, const char* group) {
    if (group == nullptr) {
        return true;
    }
    const char* own = record.group != nullptr ? record.group : "";
    return group[0] == '\0' ? own[0] == '\0' : CompareNames(own, group) == 0;
}

bool Matches(DWORD state, DWORD wantedState) {
    bool active = state != SERVICE_STOPPED;
    return (wantedState & (active ? SERVICE_ACTIVE : SERVICE_INACTIVE)) != 0;
}

// Takes over the record's display name.
bool Append(ServiceList* list, const char* name, ServiceRecord* record, DWORD state) {
    if (list->count == list->capacity) {
        size_t capacity = list->capacity == 0 ? 64 : list->capacity * 2;
        void* grown = realloc(list->items, capacity * sizeof(ListedService));
        if (grown == nullptr) {
            return false;
        }
        list->items = static_cast<ListedService*>(grown);
        list->capacity = capacity;
    }
    char* copy = strdup(name);
    if (copy == nullptr) {
        return false;
    }
    list->items[list->count++] = {copy, record->display, record->type, state};
    record->display = nullptr;
    return true;
}

struct Filter {
    DWORD types;
    DWORD states;
    const char* group;
};

bool ConsiderKey(HKEY root, const char* name, const Filter& filter, ServiceList* list) {
    ServiceRecord record;
    if (!ReadRecord(root, name, &record)) {
        return true;
    }
    DWORD state = CurrentState(name);
    bool wanted = (record.type & filter.types) != 0 && Matches(state, filter.states) &&
                  InGroup(record, filter.group);
    bool stored = !wanted || Append(list, name, &record, state);
    FreeRecord(&record);
    return stored;
}

int CompareListed(const void* a, const void* b) {
    return CompareNames(static_cast<const ListedService*>(a)->name,
                        static_cast<const ListedService*>(b)->name);
}

// Every installed service that passes the filter, in the manager's order. False when memory
// ran out.
bool CollectServices(const Filter& filter, ServiceList* list) {
    memset(list, 0, sizeof *list);
    HKEY root = OpenServicesRoot(KEY_READ, false);
    if (root == nullptr) {
        return true;
    }
    char name[kMaxServiceName];
    bool ok = true;
    for (DWORD index = 0; ok; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        ok = ConsiderKey(root, name, filter, list);
    }
    RegCloseKey(root);
    if (ok && list->count > 1) {
        qsort(list->items, list->count, sizeof(ListedService), CompareListed);
    }
    return ok;
}

DWORD EntrySize(const ListedService& item) {
    DWORD size = sizeof(ENUM_SERVICE_STATUS_PROCESSA) + static_cast<DWORD>(strlen(item.name)) + 1;
    return item.display != nullptr ? size + static_cast<DWORD>(strlen(item.display)) + 1 : size;
}

char* PlaceString(char** back, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    size_t size = strlen(text) + 1;
    *back -= size;
    memcpy(*back, text, size);
    return *back;
}

void FillEntry(ENUM_SERVICE_STATUS_PROCESSA* entry, const ListedService& item, char** back) {
    memset(entry, 0, sizeof *entry);
    entry->lpServiceName = PlaceString(back, item.name);
    entry->lpDisplayName = PlaceString(back, item.display);
    SERVICE_STATUS_PROCESS& status = entry->ServiceStatusProcess;
    status.dwServiceType = item.type;
    status.dwCurrentState = item.state;
    status.dwWin32ExitCode = item.state == SERVICE_STOPPED ? ERROR_SERVICE_NEVER_STARTED : 0;
}

struct EnumOut {
    LPBYTE buffer;
    DWORD size;
    LPDWORD needed;
    LPDWORD returned;
    LPDWORD resume;
};

// Entries from the front of the buffer, their strings from its back, as many as fit.
BOOL FillEntries(const ServiceList& list, const EnumOut& out) {
    size_t first = out.resume != nullptr ? *out.resume : 0;
    char* back = reinterpret_cast<char*>(out.buffer) + (out.buffer != nullptr ? out.size : 0);
    ENUM_SERVICE_STATUS_PROCESSA* entries =
        reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSA*>(out.buffer);
    DWORD placed = 0;
    size_t next = first;
    for (; next < list.count; ++next, ++placed) {
        size_t room = static_cast<size_t>(back - reinterpret_cast<char*>(entries + placed));
        if (out.buffer == nullptr || EntrySize(list.items[next]) > room) {
            break;
        }
        FillEntry(&entries[placed], list.items[next], &back);
    }
    *out.returned = placed;
    DWORD missing = 0;
    for (size_t i = next; i < list.count; ++i) {
        missing += EntrySize(list.items[i]);
    }
    *out.needed = missing;
    if (out.resume != nullptr) {
        *out.resume = next < list.count ? static_cast<DWORD>(next) : 0;
    }
    return next < list.count ? FailWith(ERROR_MORE_DATA) : TRUE;
}

// ---- configuration out ----

DWORD StringSize(const char* text) {
    return static_cast<DWORD>(strlen(text != nullptr ? text : "")) + 1;
}

char* CopyString(char** position, const char* text, DWORD size) {
    char* start = *position;
    memcpy(start, text != nullptr ? text : "", size);
    *position += size;
    return start;
}

DWORD ConfigSize(const ServiceRecord& record) {
    DWORD dependencies = record.dependencies != nullptr ? record.dependenciesSize + 1 : 1;
    return sizeof(QUERY_SERVICE_CONFIGA) + StringSize(record.image) + StringSize(record.group) +
           dependencies + StringSize(EffectiveAccount(record)) + StringSize(record.display);
}

void FillConfig(const ServiceRecord& record, LPQUERY_SERVICE_CONFIGA config) {
    memset(config, 0, sizeof *config);
    config->dwServiceType = record.type;
    config->dwStartType = record.start;
    config->dwErrorControl = record.errorControl;
    config->dwTagId = record.tag;
    char* position = reinterpret_cast<char*>(config + 1);
    config->lpBinaryPathName = CopyString(&position, record.image, StringSize(record.image));
    config->lpLoadOrderGroup = CopyString(&position, record.group, StringSize(record.group));
    // The read left two NULs after the data, so the list always ends in an empty string.
    config->lpDependencies =
        CopyString(&position, record.dependencies,
                   record.dependencies != nullptr ? record.dependenciesSize + 1 : 1);
    const char* account = EffectiveAccount(record);
    config->lpServiceStartName = CopyString(&position, account, StringSize(account));
    config->lpDisplayName = CopyString(&position, record.display, StringSize(record.display));
}

// ---- creation ----

bool SetString(HKEY key, const char* name, DWORD type, const char* text, DWORD size) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text), size) ==
           ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

DWORD MultiStringSize(const char* list) {
    const char* p = list;
    while (*p != '\0') {
        p += strlen(p) + 1;
    }
    return static_cast<DWORD>(p - list) + 1;
}

struct NewService {
    const char* display;
    DWORD type, start, errorControl;
    const char* image;
    const char* group;
    const char* dependencies;
    const char* account;
};

bool WriteNewService(HKEY key, const NewService& service) {
    bool ok = SetDword(key, "Type", service.type) && SetDword(key, "Start", service.start) &&
              SetDword(key, "ErrorControl", service.errorControl);
    if (ok && service.image != nullptr) {
        ok = SetString(key, "ImagePath", REG_EXPAND_SZ, service.image, StringSize(service.image));
    }
    if (ok && service.display != nullptr) {
        ok = SetString(key, "DisplayName", REG_SZ, service.display, StringSize(service.display));
    }
    if (ok && service.group != nullptr && service.group[0] != '\0') {
        ok = SetString(key, "Group", REG_SZ, service.group, StringSize(service.group));
    }
    if (ok && service.dependencies != nullptr && service.dependencies[0] != '\0') {
        ok = SetString(key, "DependOnService", REG_MULTI_SZ, service.dependencies,
                       MultiStringSize(service.dependencies));
    }
    const char* account = service.account;
    if (account == nullptr && IsWin32Type(service.type)) {
        account = kLocalSystem;
    }
    if (ok && account != nullptr) {
        ok = SetString(key, "ObjectName", REG_SZ, account, StringSize(account));
    }
    return ok;
}

DWORD CreateServiceKey(const char* name, const NewService& service) {
    ServiceRecord existing;
    if (ReadRecordByName(name, &existing)) {
        FreeRecord(&existing);
        return ERROR_SERVICE_EXISTS;
    }
    HKEY root = OpenServicesRoot(KEY_ALL_ACCESS, true);
    HKEY key = nullptr;
    LONG result = root == nullptr ? ERROR_ACCESS_DENIED
                                  : RegCreateKeyExA(root, name, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                    nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = WriteNewService(key, service) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
        RegCloseKey(key);
    }
    if (root != nullptr) {
        RegCloseKey(root);
    }
    return static_cast<DWORD>(result);
}

} // namespace

BOOL ServicesSetStateForTests(LPCSTR serviceName, DWORD state) {
    ServiceRecord record;
    if (!IsValidServiceName(serviceName) || !ReadRecordByName(serviceName, &record)) {
        return FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    FreeRecord(&record);
    pthread_mutex_lock(&g_runtimeLock);
    RuntimeEntry* entry = FindOrAddRuntimeLocked(serviceName);
    if (entry != nullptr) {
        entry->state = state;
    }
    pthread_mutex_unlock(&g_runtimeLock);
    return entry != nullptr ? TRUE : FailWith(ERROR_NOT_ENOUGH_MEMORY);
}

void ServicesResetForTests() {
    pthread_mutex_lock(&g_runtimeLock);
    for (size_t i = 0; i < g_runtimeCount;) {
        if (g_runtime[i].openHandles == 0) {
            RemoveRuntimeLocked(&g_runtime[i]);
        } else {
            g_runtime[i++].state = SERVICE_STOPPED;
        }
    }
    pthread_mutex_unlock(&g_runtimeLock);
}

void ServicesSetFaultHookForTests(ServiceFaultHook hook, void* context) {
    g_faultContext.store(context);
    g_faultHook.store(hook);
}

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
    DWORD fault = FaultFor(ServiceCall::OpenManager, nullptr);
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
        return nullptr;
    }
    if (lpDatabaseName != nullptr && strcasecmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
        FailWith(ERROR_INVALID_NAME);
        return nullptr;
    }
    ManagerHandle* manager = static_cast<ManagerHandle*>(calloc(1, sizeof(ManagerHandle)));
    if (manager == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleObjectInit(&manager->header, HandleKind::ServiceManager, DestroyManager);
    manager->access = MapManagerAccess(dwDesiredAccess) | SC_MANAGER_CONNECT;
    return reinterpret_cast<SC_HANDLE>(HandleInsert(&manager->header));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    DWORD fault = FaultFor(ServiceCall::OpenService, lpServiceName);
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
        return nullptr;
    }
    if (!ManagerGrants(hSCManager, SC_MANAGER_CONNECT)) {
        return nullptr;
    }
    if (!IsValidServiceName(lpServiceName)) {
        FailWith(ERROR_INVALID_NAME);
        return nullptr;
    }
    ServiceRecord record;
    if (!ReadRecordByName(lpServiceName, &record)) {
        FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    FreeRecord(&record);
    return NewServiceHandle(lpServiceName, dwDesiredAccess);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    HANDLE handle = reinterpret_cast<HANDLE>(hSCObject);
    if (HandleClose(handle, HandleKind::Service)) {
        return TRUE;
    }
    return HandleClose(handle, HandleKind::ServiceManager);
}

BOOL WINAPI EnumServicesStatusExA(SC_HANDLE hSCManager, SC_ENUM_TYPE InfoLevel, DWORD dwServiceType,
                                  DWORD dwServiceState, LPBYTE lpServices, DWORD cbBufSize,
                                  LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                                  LPDWORD lpResumeHandle, LPCSTR pszGroupName) {
    DWORD fault = FaultFor(ServiceCall::Enumerate, nullptr);
    if (fault != ERROR_SUCCESS) {
        return FailWith(fault);
    }
    if (InfoLevel != SC_ENUM_PROCESS_INFO) {
        return FailWith(ERROR_INVALID_LEVEL);
    }
    if (!ManagerGrants(hSCManager, SC_MANAGER_ENUMERATE_SERVICE)) {
        return FALSE;
    }
    if (pcbBytesNeeded == nullptr || lpServicesReturned == nullptr) {
        return FailWith(ERROR_INVALID_ADDRESS);
    }
    if ((dwServiceType & SERVICE_TYPE_ALL) == 0 || dwServiceState == 0 ||
        (dwServiceState & ~SERVICE_STATE_ALL) != 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    ServiceList list;
    if (!CollectServices({dwServiceType, dwServiceState, pszGroupName}, &list)) {
        FreeList(&list);
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    BOOL result = FillEntries(
        list, {lpServices, cbBufSize, pcbBytesNeeded, lpServicesReturned, lpResumeHandle});
    FreeList(&list);
    return result;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig,
                                DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    ServiceHandle* service = AcquireService(hService, SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
        return FALSE;
    }
    DWORD fault = FaultFor(ServiceCall::QueryConfig, service->name);
    ServiceRecord record;
    BOOL result = FALSE;
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
    } else if (pcbBytesNeeded == nullptr) {
        FailWith(ERROR_INVALID_ADDRESS);
    } else if (!ReadRecordByName(service->name, &record)) {
        FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    } else {
        *pcbBytesNeeded = ConfigSize(record);
        if (lpServiceConfig == nullptr || cbBufSize < *pcbBytesNeeded) {
            FailWith(ERROR_INSUFFICIENT_BUFFER);
        } else {
            FillConfig(record, lpServiceConfig);
            result = TRUE;
        }
        FreeRecord(&record);
    }
    HandleObjectRelease(&service->header);
    return result;
}

BOOL WINAPI QueryServiceConfig2A(SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer,
                                 DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    ServiceHandle* service = AcquireService(hService, SERVICE_QUERY_CONFIG);
    if (service == nullptr) {
        return FALSE;
    }
    DWORD fault = FaultFor(ServiceCall::QueryConfig2, service->name);
    ServiceRecord record;
    BOOL result = FALSE;
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
    } else if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION) {
        FailWith(ERROR_INVALID_LEVEL);
    } else if (pcbBytesNeeded == nullptr || (lpBuffer == nullptr && cbBufSize != 0)) {
        FailWith(ERROR_INVALID_ADDRESS);
    } else if (!ReadRecordByName(service->name, &record)) {
        FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    } else {
        const char* text = record.description;
        DWORD textSize = text != nullptr ? StringSize(text) : 0;
        *pcbBytesNeeded = sizeof(SERVICE_DESCRIPTIONA) + textSize;
        if (cbBufSize < *pcbBytesNeeded) {
            FailWith(ERROR_INSUFFICIENT_BUFFER);
        } else {
            LPSERVICE_DESCRIPTIONA description = reinterpret_cast<LPSERVICE_DESCRIPTIONA>(lpBuffer);
            char* position = reinterpret_cast<char*>(description + 1);
            description->lpDescription =
                text != nullptr ? CopyString(&position, text, textSize) : nullptr;
            result = TRUE;
        }
        FreeRecord(&record);
    }
    HandleObjectRelease(&service->header);
    return result;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    ServiceHandle* service = AcquireService(hService, SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        return FALSE;
    }
    DWORD fault = FaultFor(ServiceCall::QueryStatus, service->name);
    ServiceRecord record;
    BOOL result = FALSE;
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
    } else if (lpServiceStatus == nullptr) {
        FailWith(ERROR_INVALID_ADDRESS);
    } else if (!ReadRecordByName(service->name, &record)) {
        FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    } else {
        memset(lpServiceStatus, 0, sizeof *lpServiceStatus);
        lpServiceStatus->dwServiceType = record.type;
        lpServiceStatus->dwCurrentState = CurrentState(service->name);
        lpServiceStatus->dwWin32ExitCode =
            lpServiceStatus->dwCurrentState == SERVICE_STOPPED ? ERROR_SERVICE_NEVER_STARTED : 0;
        FreeRecord(&record);
        result = TRUE;
    }
    HandleObjectRelease(&service->header);
    return result;
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR lpPassword) {
    if (!ManagerGrants(hSCManager, SC_MANAGER_CREATE_SERVICE)) {
        return nullptr;
    }
    if (!IsValidServiceName(lpServiceName)) {
        FailWith(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (!IsServiceConfig(dwServiceType, dwStartType, lpBinaryPathName, lpServiceStartName) ||
        dwErrorControl > SERVICE_ERROR_CRITICAL) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    NewService service = {lpDisplayName,    dwServiceType,    dwStartType,    dwErrorControl,
                          lpBinaryPathName, lpLoadOrderGroup, lpDependencies, lpServiceStartName};
    DWORD error = CreateServiceKey(lpServiceName, service);
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return nullptr;
    }
    if (lpdwTagId != nullptr) {
        *lpdwTagId = 0;
    }
    return NewServiceHandle(lpServiceName, dwDesiredAccess);
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo) {
    ServiceHandle* service = AcquireService(hService, SERVICE_CHANGE_CONFIG);
    if (service == nullptr) {
        return FALSE;
    }
    BOOL result = FALSE;
    HKEY root = nullptr, key = nullptr;
    if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION) {
        FailWith(ERROR_INVALID_LEVEL);
    } else if (lpInfo == nullptr) {
        FailWith(ERROR_INVALID_ADDRESS);
    } else if ((root = OpenServicesRoot(KEY_ALL_ACCESS, false)) == nullptr ||
               RegOpenKeyExA(root, service->name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        FailWith(ERROR_SERVICE_DOES_NOT_EXIST);
    } else {
        // Null leaves the description as it is; an empty text removes it.
        const char* text = static_cast<LPSERVICE_DESCRIPTIONA>(lpInfo)->lpDescription;
        LONG stored = text == nullptr ? ERROR_SUCCESS
                      : text[0] == '\0'
                          ? RegDeleteValueA(key, "Description")
                          : RegSetValueExA(key, "Description", 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(text), StringSize(text));
        result = stored == ERROR_SUCCESS || stored == ERROR_FILE_NOT_FOUND
                     ? TRUE
                     : FailWith(static_cast<DWORD>(stored));
    }
    if (key != nullptr) {
        RegCloseKey(key);
    }
    if (root != nullptr) {
        RegCloseKey(root);
    }
    HandleObjectRelease(&service->header);
    return result;
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
    ServiceHandle* service = AcquireService(hService, DELETE);
    if (service == nullptr) {
        return FALSE;
    }
    pthread_mutex_lock(&g_runtimeLock);
    RuntimeEntry* entry = FindRuntimeLocked(service->name);
    DWORD error = entry == nullptr       ? ERROR_SERVICE_DOES_NOT_EXIST
                  : entry->deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE
                                         : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) {
        entry->deletePending = true;
    }
    pthread_mutex_unlock(&g_runtimeLock);
    HandleObjectRelease(&service->header);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // extern "C"
