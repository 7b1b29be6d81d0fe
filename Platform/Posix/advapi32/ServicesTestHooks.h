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
