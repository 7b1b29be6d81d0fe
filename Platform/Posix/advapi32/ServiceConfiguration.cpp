#include "Platform/Posix/advapi32/ServiceConfiguration.h"

#include <string.h>

namespace {

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

} // namespace

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

DWORD CreateServiceKey(const char* name, const NewService& service) {
    ServiceRecord existing;
    DWORD found = ReadRecordByName(name, &existing);
    if (found == ERROR_SUCCESS) {
        FreeRecord(&existing);
        return ERROR_SERVICE_EXISTS;
    }
    if (found != ERROR_SERVICE_DOES_NOT_EXIST) {
        return found;
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
