// What every harness puts on a machine image (registry keys and values, services, event logs
// with their sources, message files and records), written once, through the Win32 API: over the
// layer on Linux it lands in the prefix the process uses, inside the DLL's test binaries under
// Wine in Wine's own. Each function answers whether it worked; a failure is also reported with
// the call and its Win32 error, to stderr unless a harness sends the reports elsewhere (a test's
// throw-away prefix sends them to the running test, TestPrefix.h).
#pragma once

#include "Platform/Win32.h"

#include <stddef.h>

#include <string>
#include <vector>

// Where failures go: null sends them to stderr again.
using MachineFailureReport = void (*)(const std::string& what);
void SetMachineFailureReport(MachineFailureReport report);

// Registry keys by their path below HKEY_LOCAL_MACHINE (or below an open key), created with every
// key above them; the caller closes the key CreateMachineKey gives (null on failure).
HKEY CreateMachineKey(const std::string& path, HKEY parent = HKEY_LOCAL_MACHINE);
bool PutKey(const std::string& path);
// A value of a key, by the key's handle or its path (created as need be); a null or empty name
// is the key's default value, as RegSetValueExA takes it.
bool SetValue(HKEY key, const char* name, DWORD type, const void* data, size_t size);
bool SetValue(const std::string& key, const char* name, DWORD type, const void* data, size_t size);
// A text with its terminating NUL, REG_SZ unless told.
bool SetText(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ);
bool SetText(const std::string& key, const char* name, const std::string& text,
             DWORD type = REG_SZ);
bool SetDword(HKEY key, const char* name, DWORD value);
bool SetDword(const std::string& key, const char* name, DWORD value);
// A value, or the key with everything below it; true when it is gone, or was never there.
bool RemoveMachineValue(const std::string& key, const char* name);
bool RemoveMachineTree(const std::string& path);

// A service as CreateServiceA installs it, with the description ChangeServiceConfig2A gives it.
struct MachineService {
    std::string name;
    std::string displayName;
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD start = SERVICE_DEMAND_START;
    std::string image;             // the executable, or a driver's .sys file
    const char* account = nullptr; // null: LocalSystem
    const char* description = nullptr;
};
bool PutService(const MachineService& service);
bool RemoveService(const std::string& name);

// The key below which every event log has its own, as the EventLog service reads them.
constexpr char kEventLogKey[] = "System\\CurrentControlSet\\Services\\EventLog";

// An event source of a log and its message files (empty: no such value).
struct MachineEventSource {
    std::string name;
    std::string eventMessageFile = {};
    std::string categoryMessageFile = {};
};

// A log's key with the file that holds its records and its sources' keys.
bool PutEventLog(const std::string& log, const std::string& file,
                 const std::vector<MachineEventSource>& sources);

// A record as ReportEventA writes it, for its source's log.
struct MachineEvent {
    std::string source = {};
    WORD type = EVENTLOG_INFORMATION_TYPE;
    WORD category = 0;
    DWORD id = 1003;
    std::vector<const char*> strings = {};
    std::string data = {};
    bool system = false; // written for S-1-5-18 (LocalSystem), else for no user
};
// The records in order, each source registered once for a run of its records.
bool ReportMachineEvents(const std::vector<MachineEvent>& events);
bool ReportMachineEvent(const MachineEvent& event);
