// A service's configuration as the registry's System\CurrentControlSet\Services keys keep it,
// which keys the manager takes for services, and how it compares their names.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/Services.h"

inline constexpr char kLocalSystem[] = "LocalSystem";
// Windows refuses longer service names; a registry key name may not be longer anyway.
constexpr size_t kMaxServiceName = 256;

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

void FreeRecord(ServiceRecord* record);

bool IsWin32Type(DWORD type);

// The manager ignores a key whose configuration it could never run: no type (an application
// that only left settings there), an unknown type or start, a Win32 service without an image,
// boot or system start for anything but a driver, an interactive service under another account.
bool IsServiceConfig(DWORD type, DWORD start, const char* image, const char* account);

// The Services key, opened or created with that access; null when it cannot be.
HKEY OpenServicesRoot(REGSAM access, bool create);

// The services key opened for reading: ERROR_SUCCESS, or the registry's error.
DWORD OpenServicesRoot(REGSAM access, HKEY* root);

// ERROR_SUCCESS when the key names an installed service, whose record is then filled for the
// caller to free; ERROR_SERVICE_DOES_NOT_EXIST when there is no such key or it holds no service;
// otherwise the registry's error that stopped the read.
DWORD ReadRecord(HKEY root, const char* name, ServiceRecord* record);
DWORD ReadRecordByName(const char* name, ServiceRecord* record);

// Win32 services run as LocalSystem unless told otherwise; a driver without an object name
// leaves the choice to the I/O system and reports none.
const char* EffectiveAccount(const ServiceRecord& record);

// The manager's order: by the lower-case form of the name.
int CompareNames(const char* a, const char* b);

bool IsValidServiceName(const char* name);
