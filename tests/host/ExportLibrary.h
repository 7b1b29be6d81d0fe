// The library under test, loaded by path, and the addresses of the JNI exports the Java host
// classes bind to. Where the Java side would fail with UnsatisfiedLinkError, the host names the
// missing export.
#pragma once

#include <stddef.h>

enum class Export {
    CheckRootDirectory,
    CollectVersionInformation,
    GetChildKeyNames,
    GetChildValueNames,
    GetValue,
    GetDefaultValue,
    GetLastModifiedTime,
    RegistryCheckInstanceExists,
    GetServices,
    CancelCollection,
    ServiceCheckInstance,
    GetAttributeValues,
    InstalledCheckInstance,
    ReleaseResources,
    GetAllLogFileNames,
    OpenEventLog,
    CloseEventLog,
    ReadNextEventLogRecord,
    EventLogCheckInstanceExists,
    GetExpandedCounterPaths,
    GetCounterValues,
    ParseCounterPath,
    PerfmonCheckInstanceExists,
    Count
};

constexpr size_t kExportCount = static_cast<size_t>(Export::Count);

// The JNI name of an export, as the JVM looks it up.
const char* ExportName(Export which);

class ExportLibrary {
  public:
    // Loads the library and resolves every export, printing "not exported: <name>" for each one
    // missing. False, with the reason on stderr, when the library could not be loaded.
    bool Load(const char* path);

    // The export's address cast to its function type; null when it is not exported.
    template <typename Function> Function Get(Export which) const {
        return reinterpret_cast<Function>(addresses_[static_cast<size_t>(which)]);
    }
    bool Has(Export which) const { return addresses_[static_cast<size_t>(which)] != nullptr; }

  private:
    void* addresses_[kExportCount] = {};
};

// The function type of an export, from the declaration javac -h made of its native method.
#define EXPORT_FUNCTION_TYPE(agentClass, method)                                                   \
    decltype(&Java_com_quorvane_inventory_inventoryagent_##agentClass##_##method)

// What each build does to load a library and find a symbol in it; null on failure.
void* OpenLibrary(const char* path);
void* FindExport(void* library, const char* name);
