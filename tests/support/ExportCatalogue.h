// The library's exports, each written once: the native method it binds (class of the package
// com.quorvane.inventory.inventoryagent, method, JNI signature), the symbol the library exports
// for it, the agent source that defines it, and how the harnesses cover it. Everything that lists
// the exports is made from this table or checked against it: the export lists of both builds
// (cmake/ExportCatalogue.cmake reads the rows), the host's Export enum and names, the stand-in's
// native methods, the export table checks, and the tests that every export has a host scenario,
// a sweep case and a benchmark (tests/exports/ExportCatalogueTest.cpp).
//
// A row: X(Id, Class, method, symbol, "signature", "source under InventoryAgents/", coverage)
// - Id: the name the harnesses call it by (Export::Id): the method's, with the agent where two
//   agents share the method, and never a name windows.h takes for a macro (OpenEventLog).
// - symbol: how the library exports it: the method's short JNI name, or the long one (with "__"
//   and the mangled argument types) where the library exports that.
// - coverage: BENCHED("binary", "Benchmark") when a host scenario plays it, a sweep case sweeps
//   it and that benchmark times it; NOT_BENCHED("why") when no benchmark does; UNCOVERED("why no
//   host scenario", "why no sweep case", "why no benchmark") when neither does.
// The rows stand in the order of the export list; the javac -h headers stay the truth of the
// signatures, which the checks hold the rows to.
#pragma once

#include <stddef.h>

// clang-format off
#define PALLWICK_EXPORT_CATALOGUE(X) \
    X(CheckRootDirectory, BasicFileInventoryAgent, checkRootDirectory, checkRootDirectory, \
      "(Ljava/lang/String;)Z", "NativeFileVersionInfo/RootDirectoryCheck.cpp", \
      NOT_BENCHED("one GetDriveTypeA on the caller's text: the export is its own floor")) \
    X(CollectVersionInformation, WindowsExecutableMetadataFileInventoryAgent, \
      collectVersionInformationForFile, collectVersionInformationForFile, \
      "(Ljava/lang/String;)Ljava/util/Vector;", "NativeFileVersionInfo/NativeFileVersionInfo.cpp", \
      BENCHED("version_information_bench", "CollectVersionInformation")) \
    X(GetChildKeyNames, WindowsRegistryInventoryAgent, getChildKeyNames, getChildKeyNames, \
      "(Ljava/lang/String;)[Ljava/lang/String;", "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      BENCHED("registry_inventory_bench", "ChildKeyNames")) \
    X(GetChildValueNames, WindowsRegistryInventoryAgent, getChildValueNames, getChildValueNames, \
      "(Ljava/lang/String;)[Ljava/lang/String;", "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      NOT_BENCHED("the walk of ChildKeyNames over a key's values (RegEnumValueA for " \
                 "RegEnumKeyExA), into the same String[]")) \
    X(GetValue, WindowsRegistryInventoryAgent, getValue, getValue, \
      "(Ljava/lang/String;Ljava/lang/String;)[Ljava/lang/String;", \
      "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      BENCHED("registry_inventory_bench", "GetValue")) \
    X(GetDefaultValue, WindowsRegistryInventoryAgent, getDefaultValue, getDefaultValue, \
      "(Ljava/lang/String;)[Ljava/lang/String;", "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      NOT_BENCHED("getValue of the empty name, which GetValue times")) \
    X(GetLastModifiedTime, WindowsRegistryInventoryAgent, getLastModifiedTime, \
      getLastModifiedTime, "(Ljava/lang/String;)J", \
      "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      NOT_BENCHED("the key's path resolved as GetValue resolves it, then one RegQueryInfoKeyA: " \
                 "nothing that grows with the input")) \
    X(RegistryCheckInstanceExists, WindowsRegistryInventoryAgent, checkInstanceExists, \
      checkInstanceExists, "(Ljava/lang/String;)B", \
      "WindowsRegistryAgent/WindowsRegistryAgent.cpp", \
      NOT_BENCHED("one key opened and, for a value, its names walked by RegEnumValueA, the " \
                  "walk getChildValueNames makes")) \
    X(GetServices, WinNTServiceInventoryAgent, getServices, getServices__Ljava_util_Vector_2, \
      "(Ljava/util/Vector;)Z", "NativeWinNTServices/NativeWinNTServices.cpp", \
      BENCHED("services_bench", "GetServices")) \
    X(CancelCollection, WinNTServiceInventoryAgent, cancelCollection, cancelCollection, "()V", \
      "NativeWinNTServices/NativeWinNTServices.cpp", \
      UNCOVERED("it stops every later getServices of the process, and the host plays all its " \
                "scenarios in one", \
                "it makes no call that can fail (it sets a flag), and would stop every later " \
                "getServices case of the sweep's process", \
                "it sets a flag: no work to time")) \
    X(ServiceCheckInstance, WinNTServiceInventoryAgent, checkInstance, checkInstance, \
      "(Ljava/lang/String;)B", "NativeWinNTServices/NativeWinNTServices.cpp", \
      NOT_BENCHED("one OpenServiceA on the manager, which GetServices opens as well")) \
    X(GetAttributeValues, InstalledSoftwaresAgent, getAttributeValues, getAttributeValues, \
      "([Ljava/lang/String;[ILcom/quorvane/inventory/inventoryagent/InventoryResultVector;ZI)B", \
      "NativeInstalledApps/NativeInstalledApps.cpp", \
      BENCHED("installed_software_bench", "InstalledSoftware")) \
    X(InstalledCheckInstance, InstalledSoftwaresAgent, checkInstance, checkInstance, \
      "(Ljava/lang/String;)Z", "NativeInstalledApps/UninstallKeys.cpp", \
      NOT_BENCHED("one RegOpenKeyExA below the Uninstall key that InstalledSoftware keeps open")) \
    X(ReleaseResources, InstalledSoftwaresAgent, releaseResources, releaseResources, "()Z", \
      "NativeInstalledApps/UninstallKeys.cpp", \
      NOT_BENCHED("it closes at most the five keys kept open: no work to time")) \
    X(GetAllLogFileNames, WindowsEventLogInventoryAgent, getAllLogFileNames, getAllLogFileNames, \
      "()[Ljava/lang/String;", "EventLogAgent/EventLogAgent.cpp", \
      NOT_BENCHED("the subkey names of the EventLog key, a walk ChildKeyNames times over " \
                 "thousands of keys; a machine has a handful of logs")) \
    X(OpenEventLogHandle, WindowsEventLogInventoryAgent, openEventLog, openEventLog, \
      "(Ljava/lang/String;)J", "EventLogAgent/EventLogAgent.cpp", \
      BENCHED("event_log_bench", "ReadRecords")) \
    X(CloseEventLog, WindowsEventLogInventoryAgent, closeEventLog, closeEventLog, "(J)I", \
      "EventLogAgent/EventLogAgent.cpp", BENCHED("event_log_bench", "ReadRecords")) \
    X(ReadNextEventLogRecord, WindowsEventLogInventoryAgent, readNextEventLogRecord, \
      readNextEventLogRecord, "(JSLjava/lang/String;)[Ljava/lang/String;", \
      "EventLogAgent/EventLogAgent.cpp", BENCHED("event_log_bench", "ReadRecords")) \
    X(EventLogCheckInstanceExists, WindowsEventLogInventoryAgent, checkInstanceExists, \
      checkInstanceExists, "(Ljava/lang/String;)Z", "EventLogAgent/EventLogAgent.cpp", \
      BENCHED("event_log_bench", "CheckLastRecord")) \
    X(GetExpandedCounterPaths, WindowsPerfmonInventoryAgent, getExpandedCounterPaths, \
      getExpandedCounterPaths, "(Ljava/lang/String;)[Ljava/lang/String;", \
      "WindowsPerfMonAgent/WindowsPerfMonAgent.cpp", \
      NOT_BENCHED("one PdhExpandCounterPathA, PDH's own work, and the String[] of its paths")) \
    X(GetCounterValues, WindowsPerfmonInventoryAgent, getCounterValues, getCounterValues, \
      "([Ljava/lang/String;I)[D", "WindowsPerfMonAgent/WindowsPerfMonAgent.cpp", \
      BENCHED("perfmon_bench", "GetCounterValues")) \
    X(ParseCounterPath, WindowsPerfmonInventoryAgent, parseCounterPath, parseCounterPath, \
      "(Ljava/lang/String;)[Ljava/lang/String;", "WindowsPerfMonAgent/WindowsPerfMonAgent.cpp", \
      NOT_BENCHED("one PdhParseCounterPathA, PDH's own work, and a String[4]")) \
    X(PerfmonCheckInstanceExists, WindowsPerfmonInventoryAgent, checkInstanceExists, \
      checkInstanceExists, "(Ljava/lang/String;)Z", \
      "WindowsPerfMonAgent/WindowsPerfMonAgent.cpp", \
      NOT_BENCHED("one query of one counter, the work GetCounterValues times for every path"))
// clang-format on

enum class Export {
#define PALLWICK_EXPORT_ID(id, ...) id,
    PALLWICK_EXPORT_CATALOGUE(PALLWICK_EXPORT_ID)
#undef PALLWICK_EXPORT_ID
        Count
};

constexpr size_t kExportCount = static_cast<size_t>(Export::Count);

// How the harnesses cover an export: a benchmark by binary and name, or why none does; and
// why no host scenario or sweep case does, where none does.
struct ExportCoverage {
    const char* benchBinary;
    const char* benchmark;
    const char* whyNoBenchmark;
    const char* whyNoHostScenario;
    const char* whyNoSweepCase;
};

struct ExportEntry {
    const char* javaClass; // the simple name, in com.quorvane.inventory.inventoryagent
    const char* method;
    const char* signature;
    const char* symbol; // the exported name: "Java_com_quorvane_..."
    const char* source; // below InventoryAgents/
    ExportCoverage coverage;
};

#define PALLWICK_JAVA_SYMBOL(javaClass, symbol)                                                    \
    "Java_com_quorvane_inventory_inventoryagent_" #javaClass "_" #symbol

inline constexpr ExportEntry kExportCatalogue[] = {
#define BENCHED(binary, benchmark)                                                                 \
    { binary, benchmark, nullptr, nullptr, nullptr }
#define NOT_BENCHED(why)                                                                           \
    { nullptr, nullptr, why, nullptr, nullptr }
#define UNCOVERED(host, sweep, bench)                                                              \
    { nullptr, nullptr, bench, host, sweep }
#define PALLWICK_EXPORT_ENTRY(id, javaClass, method, symbol, signature, source, coverage)          \
    {#javaClass, #method, signature, PALLWICK_JAVA_SYMBOL(javaClass, symbol), source, coverage},
    PALLWICK_EXPORT_CATALOGUE(PALLWICK_EXPORT_ENTRY)
#undef PALLWICK_EXPORT_ENTRY
#undef UNCOVERED
#undef NOT_BENCHED
#undef BENCHED
};
static_assert(sizeof kExportCatalogue / sizeof kExportCatalogue[0] == kExportCount,
              "one entry for each export");

inline const ExportEntry& CatalogueEntry(Export which) {
    return kExportCatalogue[static_cast<size_t>(which)];
}
