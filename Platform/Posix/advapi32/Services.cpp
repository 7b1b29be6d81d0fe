// The manager's functions: the fault plan and the argument checks Windows makes, then the
// records, handles and lists of the units beside this one.
#include "Platform/Posix/advapi32/Services.h"

#include "Platform/Posix/advapi32/ServiceConfiguration.h"
#include "Platform/Posix/advapi32/ServiceEnumeration.h"
#include "Platform/Posix/advapi32/ServiceHandles.h"
#include "Platform/Posix/advapi32/ServiceRecords.h"
#include "Platform/Posix/advapi32/ServiceRuntime.h"
#include "Platform/Posix/advapi32/ServiceTexts.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/ScopedResource.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace {

struct TextReleaser {
    void operator()(char* text) const { free(text); }
};
using ScopedText = ScopedResource<char*, TextReleaser>;

// The three queries alike: the service behind the handle with the access they need, the plan
// told its name, then the query itself; the handle's reference is given back on every path.
template <typename Query>
BOOL QueryService(SC_HANDLE handle, DWORD access, LayerCall call, Query query) {
    ServiceHandle* service = AcquireService(handle, access);
    if (service == nullptr) {
        return FALSE;
    }
    DWORD fault = FaultCheck(call, service->name);
    BOOL result = fault != ERROR_SUCCESS ? FailWith(fault) : query(service->name);
    HandleObjectRelease(&service->header);
    return result;
}

// Answers from the service's configuration as the registry holds it now.
template <typename Answer> BOOL FromRecord(const char* name, Answer answer) {
    ServiceRecord record;
    DWORD error = ReadRecordByName(name, &record);
    if (error != ERROR_SUCCESS) {
        return FailWith(error);
    }
    BOOL result = answer(record);
    FreeRecord(&record);
    return result;
}

// OpenServiceA and CreateServiceA alike: the plan (told the service's name), the manager's
// right, then the name's form; false with the last error set.
bool NamedServiceCallAllowed(LayerCall call, SC_HANDLE manager, DWORD right, LPCSTR name) {
    DWORD fault = FaultCheck(call, name);
    if (fault != ERROR_SUCCESS) {
        return FailWith(fault);
    }
    if (!ManagerGrants(manager, right)) {
        return false;
    }
    return IsValidServiceName(name) || FailWith(ERROR_INVALID_NAME);
}

} // namespace

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
    DWORD fault = FaultCheck(LayerCall::OpenSCManagerA, nullptr);
    if (fault != ERROR_SUCCESS) {
        FailWith(fault);
        return nullptr;
    }
    if (lpDatabaseName != nullptr && strcasecmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
        FailWith(ERROR_INVALID_NAME);
        return nullptr;
    }
    ManagerHandle* manager = static_cast<ManagerHandle*>(LayerCalloc(1, sizeof(ManagerHandle)));
    if (manager == nullptr) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HandleObjectInit(&manager->header, HandleKind::ServiceManager, DestroyManager);
    manager->access = MapManagerAccess(dwDesiredAccess) | SC_MANAGER_CONNECT;
    return reinterpret_cast<SC_HANDLE>(HandleInsert(&manager->header));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    if (!NamedServiceCallAllowed(LayerCall::OpenServiceA, hSCManager, SC_MANAGER_CONNECT,
                                 lpServiceName)) {
        return nullptr;
    }
    ServiceRecord record;
    DWORD error = ReadRecordByName(lpServiceName, &record);
    if (error != ERROR_SUCCESS) {
        FailWith(error);
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
    DWORD fault = FaultCheck(LayerCall::EnumServicesStatusExA, nullptr);
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
    DWORD error = CollectServices({dwServiceType, dwServiceState, pszGroupName}, &list);
    if (error != ERROR_SUCCESS) {
        FreeList(&list);
        return FailWith(error);
    }
    BOOL result = FillEntries(
        list, {lpServices, cbBufSize, pcbBytesNeeded, lpServicesReturned, lpResumeHandle});
    FreeList(&list);
    return result;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig,
                                DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    return QueryService(hService, SERVICE_QUERY_CONFIG, LayerCall::QueryServiceConfigA,
                        [&](const char* name) {
                            if (pcbBytesNeeded == nullptr) {
                                return FailWith(ERROR_INVALID_ADDRESS);
                            }
                            return FromRecord(name, [&](ServiceRecord& record) {
                                if (!ResolveDisplayName(&record.display)) {
                                    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
                                }
                                *pcbBytesNeeded = ConfigSize(record);
                                if (lpServiceConfig == nullptr || cbBufSize < *pcbBytesNeeded) {
                                    return FailWith(ERROR_INSUFFICIENT_BUFFER);
                                }
                                FillConfig(record, lpServiceConfig);
                                return TRUE;
                            });
                        });
}

BOOL WINAPI QueryServiceConfig2A(SC_HANDLE hService, DWORD dwInfoLevel, LPBYTE lpBuffer,
                                 DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    return QueryService(
        hService, SERVICE_QUERY_CONFIG, LayerCall::QueryServiceConfig2A, [&](const char* name) {
            if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION) {
                return FailWith(ERROR_INVALID_LEVEL);
            }
            if (pcbBytesNeeded == nullptr || (lpBuffer == nullptr && cbBufSize != 0)) {
                return FailWith(ERROR_INVALID_ADDRESS);
            }
            return FromRecord(name, [&](const ServiceRecord& record) {
                // An indirect description that cannot be loaded fails the query: the manager
                // has no text to give in its place.
                ScopedText loaded;
                DWORD error = LoadIndirectText(record.description, loaded.receive());
                if (error != ERROR_SUCCESS) {
                    return FailWith(error);
                }
                const char* text = loaded.held() ? loaded.get() : record.description;
                DWORD textSize = text != nullptr ? StringSize(text) : 0;
                *pcbBytesNeeded = sizeof(SERVICE_DESCRIPTIONA) + textSize;
                if (cbBufSize < *pcbBytesNeeded) {
                    return FailWith(ERROR_INSUFFICIENT_BUFFER);
                }
                auto description = reinterpret_cast<LPSERVICE_DESCRIPTIONA>(lpBuffer);
                char* position = reinterpret_cast<char*>(description + 1);
                description->lpDescription =
                    text != nullptr ? CopyString(&position, text, textSize) : nullptr;
                return TRUE;
            });
        });
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    return QueryService(
        hService, SERVICE_QUERY_STATUS, LayerCall::QueryServiceStatus, [&](const char* name) {
            if (lpServiceStatus == nullptr) {
                return FailWith(ERROR_INVALID_ADDRESS);
            }
            return FromRecord(name, [&](const ServiceRecord& record) {
                memset(lpServiceStatus, 0, sizeof *lpServiceStatus);
                lpServiceStatus->dwServiceType = record.type;
                lpServiceStatus->dwCurrentState = CurrentState(name);
                lpServiceStatus->dwWin32ExitCode =
                    lpServiceStatus->dwCurrentState == SERVICE_STOPPED ? ERROR_SERVICE_NEVER_STARTED
                                                                       : 0;
                return TRUE;
            });
        });
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR lpPassword) {
    if (!NamedServiceCallAllowed(LayerCall::CreateServiceA, hSCManager, SC_MANAGER_CREATE_SERVICE,
                                 lpServiceName)) {
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
    if (!FaultAllows(LayerCall::ChangeServiceConfig2A)) {
        return FALSE;
    }
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
    if (!FaultAllows(LayerCall::DeleteService)) {
        return FALSE;
    }
    ServiceHandle* service = AcquireService(hService, DELETE);
    if (service == nullptr) {
        return FALSE;
    }
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(RuntimeTableLock());
        RuntimeEntry* entry = FindRuntimeLocked(service->name);
        error = entry == nullptr       ? ERROR_SERVICE_DOES_NOT_EXIST
                : entry->deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE
                                       : ERROR_SUCCESS;
        if (error == ERROR_SUCCESS) {
            entry->deletePending = true;
        }
    }
    HandleObjectRelease(&service->header);
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // extern "C"
