#include "tests/support/Machine.h"

#include <stdio.h>

namespace {

void ReportOnStderr(const std::string& what) {
    fprintf(stderr, "machine image: %s\n", what.c_str());
}

MachineFailureReport g_report = ReportOnStderr;

// Reports a failed call with its Win32 error; false, for the caller to return.
bool Failed(const std::string& what, unsigned long error) {
    g_report(what + ": error " + std::to_string(error));
    return false;
}

bool Reported(LSTATUS status, const std::string& what) {
    return status == ERROR_SUCCESS || Failed(what, (unsigned long)status);
}

// The well-known SID of LocalSystem, S-1-5-18.
const BYTE kLocalSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};

} // namespace

void SetMachineFailureReport(MachineFailureReport report) {
    g_report = report != nullptr ? report : ReportOnStderr;
}

HKEY CreateMachineKey(const std::string& path, HKEY parent) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &key, nullptr);
    return Reported(status, "RegCreateKeyExA " + path) ? key : nullptr;
}

bool PutKey(const std::string& path) {
    HKEY key = CreateMachineKey(path);
    RegCloseKey(key);
    return key != nullptr;
}

bool SetValue(HKEY key, const char* name, DWORD type, const void* data, size_t size) {
    return Reported(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), (DWORD)size),
                    std::string("RegSetValueExA ") + (name != nullptr ? name : "(default)"));
}

bool SetValue(const std::string& key, const char* name, DWORD type, const void* data, size_t size) {
    HKEY opened = CreateMachineKey(key);
    if (opened == nullptr) {
        return false;
    }
    bool set = SetValue(opened, name, type, data, size);
    RegCloseKey(opened);
    return set;
}

bool SetText(HKEY key, const char* name, const std::string& text, DWORD type) {
    return SetValue(key, name, type, text.c_str(), text.size() + 1);
}

bool SetText(const std::string& key, const char* name, const std::string& text, DWORD type) {
    return SetValue(key, name, type, text.c_str(), text.size() + 1);
}

bool SetDword(HKEY key, const char* name, DWORD value) {
    return SetValue(key, name, REG_DWORD, &value, sizeof value);
}

bool SetDword(const std::string& key, const char* name, DWORD value) {
    return SetValue(key, name, REG_DWORD, &value, sizeof value);
}

bool RemoveMachineValue(const std::string& key, const char* name) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &opened);
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValueA(opened, name);
        RegCloseKey(opened);
    }
    return status == ERROR_FILE_NOT_FOUND ||
           Reported(status, std::string("RegDeleteValueA HKLM\\") + key + "\\" + name);
}

namespace {

// Windows deletes only a key without subkeys: the deepest go first, each opened and deleted
// below its parent, as a path from the root may be longer than a key's name may be.
bool RemoveTree(HKEY parent, const std::string& name, const std::string& shown) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (!Reported(status, "RegOpenKeyExA " + shown)) {
        return false;
    }
    bool removed = true;
    char child[256];
    for (DWORD length = sizeof child; removed; length = sizeof child) {
        status = RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        removed = Reported(status, "RegEnumKeyExA " + shown) &&
                  RemoveTree(key, child, shown + "\\" + child);
    }
    RegCloseKey(key);
    return removed && Reported(RegDeleteKeyA(parent, name.c_str()), "RegDeleteKeyA " + shown);
}

} // namespace

bool RemoveMachineTree(const std::string& path) {
    return RemoveTree(HKEY_LOCAL_MACHINE, path, "HKLM\\" + path);
}

bool PutService(const MachineService& service) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        return Failed("OpenSCManagerA", GetLastError());
    }
    SC_HANDLE created =
        CreateServiceA(manager, service.name.c_str(), service.displayName.c_str(),
                       SERVICE_ALL_ACCESS, service.type, service.start, SERVICE_ERROR_NORMAL,
                       service.image.c_str(), nullptr, nullptr, nullptr, service.account, nullptr);
    bool put = created != nullptr || Failed("CreateServiceA " + service.name, GetLastError());
    if (created != nullptr && service.description != nullptr) {
        SERVICE_DESCRIPTIONA description = {const_cast<char*>(service.description)};
        put = ChangeServiceConfig2A(created, SERVICE_CONFIG_DESCRIPTION, &description) ||
              Failed("ChangeServiceConfig2A " + service.name, GetLastError());
    }
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
    return put;
}

bool RemoveService(const std::string& name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        return Failed("OpenSCManagerA", GetLastError());
    }
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), DELETE);
    bool removed = (service != nullptr && DeleteService(service)) ||
                   Failed("DeleteService " + name, GetLastError());
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return removed;
}

bool PutEventLog(const std::string& log, const std::string& file,
                 const std::vector<MachineEventSource>& sources) {
    const std::string logKey = std::string(kEventLogKey) + "\\" + log;
    bool put = SetText(logKey, "File", file);
    for (const MachineEventSource& source : sources) {
        const std::string sourceKey = logKey + "\\" + source.name;
        put = PutKey(sourceKey) && put;
        if (!source.eventMessageFile.empty()) {
            put = SetText(sourceKey, "EventMessageFile", source.eventMessageFile) && put;
        }
        if (!source.categoryMessageFile.empty()) {
            put = SetText(sourceKey, "CategoryMessageFile", source.categoryMessageFile) && put;
        }
    }
    return put;
}

bool ReportMachineEvents(const std::vector<MachineEvent>& events) {
    bool reported = true;
    HANDLE source = nullptr;
    for (size_t i = 0; i < events.size() && reported; ++i) {
        const MachineEvent& event = events[i];
        if (i == 0 || event.source != events[i - 1].source) {
            if (source != nullptr) {
                DeregisterEventSource(source);
            }
            source = RegisterEventSourceA(nullptr, event.source.c_str());
            if (source == nullptr) {
                return Failed("RegisterEventSourceA " + event.source, GetLastError());
            }
        }
        std::vector<LPCSTR> strings(event.strings.begin(), event.strings.end());
        reported = ReportEventA(source, event.type, event.category, event.id,
                                event.system ? (PSID)kLocalSystem : nullptr, (WORD)strings.size(),
                                (DWORD)event.data.size(), strings.data(),
                                event.data.empty() ? nullptr : (LPVOID)event.data.data()) ||
                   Failed("ReportEventA " + event.source, GetLastError());
    }
    if (source != nullptr) {
        DeregisterEventSource(source);
    }
    return reported;
}

bool ReportMachineEvent(const MachineEvent& event) {
    return ReportMachineEvents({event});
}
