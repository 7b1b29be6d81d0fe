// Layer-internal entry points of the Service Control Manager, for tests.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Services.h"

// Sets the current state a service reports (SERVICE_STOPPED unless a test says otherwise; any
// value is kept as given, so that a test can show a state Windows never reports). FALSE with
// ERROR_SERVICE_DOES_NOT_EXIST when no such service is installed.
BOOL ServicesSetStateForTests(LPCSTR serviceName, DWORD state);

// Forgets every state set for tests; the next registry reset forgets the services themselves.
void ServicesResetForTests();

// The manager functions a fault hook sees.
enum class ServiceCall {
    OpenManager,
    OpenService,
    Enumerate,
    QueryConfig,
    QueryConfig2,
    QueryStatus,
};

// Called at the start of those functions, outside every lock of the layer, with the service's
// name where the call has one (else null), so that a hook may itself call the manager (to delete
// a service just before it is opened, say). A result other than ERROR_SUCCESS fails the function
// at once with that last error. Null removes the hook.
typedef DWORD (*ServiceFaultHook)(ServiceCall call, LPCSTR serviceName, void* context);
void ServicesSetFaultHookForTests(ServiceFaultHook hook, void* context);
