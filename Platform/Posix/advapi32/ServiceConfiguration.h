// A service's configuration going out (QueryServiceConfigA's block) and coming in (the keys and
// values CreateServiceA writes).
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/ServiceRecords.h"

// Bytes of a string with its terminator; a null string counts as empty.
DWORD StringSize(const char* text);

// Copies size bytes of text (empty for null) to *position and moves it on; returns the copy.
char* CopyString(char** position, const char* text, DWORD size);

DWORD ConfigSize(const ServiceRecord& record);
void FillConfig(const ServiceRecord& record, LPQUERY_SERVICE_CONFIGA config);

struct NewService {
    const char* display;
    DWORD type, start, errorControl;
    const char* image;
    const char* group;
    const char* dependencies;
    const char* account;
};

// Writes a new service's key; ERROR_SERVICE_EXISTS when one of that name is installed.
DWORD CreateServiceKey(const char* name, const NewService& service);
