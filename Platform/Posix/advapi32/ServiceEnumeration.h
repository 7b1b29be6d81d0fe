// EnumServicesStatusExA's list: the installed services that pass its filter, in the manager's
// order, and the caller's buffer filled from both ends.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/ServiceRecords.h"

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

void FreeList(ServiceList* list);

struct Filter {
    DWORD types;
    DWORD states;
    const char* group;
};

// Every installed service that passes the filter, in the manager's order: ERROR_SUCCESS, else
// ERROR_NOT_ENOUGH_MEMORY or the registry's error that stopped the walk; the caller frees the
// list either way.
DWORD CollectServices(const Filter& filter, ServiceList* list);

struct EnumOut {
    LPBYTE buffer;
    DWORD size;
    LPDWORD needed;
    LPDWORD returned;
    LPDWORD resume;
};

// Entries from the front of the buffer, their strings from its back, as many as fit; FALSE with
// ERROR_MORE_DATA when some did not.
BOOL FillEntries(const ServiceList& list, const EnumOut& out);
