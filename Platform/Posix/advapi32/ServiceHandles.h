// The manager's handles: the manager itself and open services, each with the access it grants.
// A service marked for deletion goes when its last handle closes, as on Windows.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/ServiceRecords.h"
#include "Platform/Posix/common/Handles.h"

struct ManagerHandle {
    HandleObject header;
    DWORD access;
};

struct ServiceHandle {
    HandleObject header;
    DWORD access;
    char name[kMaxServiceName + 1];
};

void DestroyManager(HandleObject* object);

DWORD MapManagerAccess(DWORD access);
DWORD MapServiceAccess(DWORD access);

// The service behind a handle with a reference taken, if the handle grants `needed`; null with
// the last error set otherwise. The caller releases it.
ServiceHandle* AcquireService(SC_HANDLE handle, DWORD needed);

// Whether handle is a manager handle that grants `needed`; false with the last error set.
bool ManagerGrants(SC_HANDLE handle, DWORD needed);

// A handle on an installed service that is not marked for deletion.
SC_HANDLE NewServiceHandle(const char* name, DWORD access);
