// Prints every service the Service Control Manager lists, in its order, with the configuration
// the inventory reads, so that the layer and Wine can be compared on the same prefix, one line
// per service.
#include "Platform/Win32.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

const char* OrNull(const char* text) {
    return text != nullptr ? text : "(null)";
}

void PrintService(SC_HANDLE manager, const char* name) {
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    static BYTE config[8192], description[8192];
    DWORD needed = 0;
    if (service == nullptr ||
        !QueryServiceConfigA(service, (QUERY_SERVICE_CONFIGA*)config, sizeof config, &needed)) {
        printf("%s\tunreadable %u\n", name, (unsigned)GetLastError());
    } else {
        const QUERY_SERVICE_CONFIGA* c = (const QUERY_SERVICE_CONFIGA*)config;
        const char* text = "(unreadable)";
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, description,
                                 sizeof description, &needed)) {
            text = OrNull(((SERVICE_DESCRIPTIONA*)description)->lpDescription);
        }
        printf("%s\ttype=0x%x\tstart=%u\tpath=%s\tdisplay=%s\tdescription=%s\taccount=%s\n", name,
               (unsigned)c->dwServiceType, (unsigned)c->dwStartType, OrNull(c->lpBinaryPathName),
               OrNull(c->lpDisplayName), text, OrNull(c->lpServiceStartName));
    }
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
}

} // namespace

int main() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        fprintf(stderr, "OpenSCManagerA: %u\n", (unsigned)GetLastError());
        return 1;
    }
    DWORD needed = 0, returned = 0, resume = 0;
    EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, nullptr, 0,
                          &needed, &returned, &resume, nullptr);
    BYTE* buffer = (BYTE*)malloc(needed > 0 ? needed : 1);
    int status = 1;
    resume = 0;
    if (buffer != nullptr &&
        EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, 0x1FF, SERVICE_STATE_ALL, buffer,
                              needed, &needed, &returned, &resume, nullptr)) {
        const ENUM_SERVICE_STATUS_PROCESSA* entries = (const ENUM_SERVICE_STATUS_PROCESSA*)buffer;
        for (DWORD i = 0; i < returned; ++i) {
            PrintService(manager, entries[i].lpServiceName);
        }
        status = 0;
    } else {
        fprintf(stderr, "EnumServicesStatusExA: %u\n", (unsigned)GetLastError());
    }
    free(buffer);
    CloseServiceHandle(manager);
    return status;
}
