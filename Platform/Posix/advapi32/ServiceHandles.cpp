#include "Platform/Posix/advapi32/ServiceHandles.h"

#include "Platform/Posix/advapi32/ServiceRecords.h"
#include "Platform/Posix/advapi32/ServiceRuntime.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <stdlib.h>
#include <string.h>

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
    bool remove = false;
    {
        std::lock_guard<std::mutex> guard(RuntimeTableLock());
        RuntimeEntry* entry = FindRuntimeLocked(handle->name);
        if (entry != nullptr && entry->openHandles > 0 && --entry->openHandles == 0) {
            remove = entry->deletePending;
            // An entry that holds nothing the registry lacks goes too: the table stays as small
            // as the number of services with a handle open or a state set, however many are
            // queried.
            if (remove || entry->state == SERVICE_STOPPED) {
                RemoveRuntimeLocked(entry);
            }
        }
    }
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
    DWORD error = 0;
    ServiceHandle* handle = nullptr;
    {
        std::lock_guard<std::mutex> guard(RuntimeTableLock());
        RuntimeEntry* entry = FindOrAddRuntimeLocked(name);
        error = entry == nullptr ? ERROR_NOT_ENOUGH_MEMORY
                                 : (entry->deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE : 0);
        handle = error == 0 ? static_cast<ServiceHandle*>(LayerCalloc(1, sizeof(ServiceHandle)))
                            : nullptr;
        if (handle != nullptr) {
            ++entry->openHandles;
        } else if (error == 0) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (handle == nullptr) {
        FailWith(error);
        return nullptr;
    }
    HandleObjectInit(&handle->header, HandleKind::Service, DestroyService);
    handle->access = MapServiceAccess(access);
    strncpy(handle->name, name, kMaxServiceName);
    return reinterpret_cast<SC_HANDLE>(HandleInsert(&handle->header));
}
