#include "tests/host/ExportLibrary.h"

#include <stdio.h>

namespace {

#define JAVA_EXPORT(agentClass, method)                                                            \
    "Java_com_quorvane_inventory_inventoryagent_" #agentClass "_" #method

// In the order of Export.
constexpr const char* kExportNames[] = {
    JAVA_EXPORT(BasicFileInventoryAgent, checkRootDirectory),
    JAVA_EXPORT(WindowsExecutableMetadataFileInventoryAgent, collectVersionInformationForFile),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, getChildKeyNames),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, getChildValueNames),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, getValue),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, getDefaultValue),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, getLastModifiedTime),
    JAVA_EXPORT(WindowsRegistryInventoryAgent, checkInstanceExists),
    JAVA_EXPORT(WinNTServiceInventoryAgent, getServices__Ljava_util_Vector_2),
    JAVA_EXPORT(WinNTServiceInventoryAgent, cancelCollection),
    JAVA_EXPORT(WinNTServiceInventoryAgent, checkInstance),
    JAVA_EXPORT(InstalledSoftwaresAgent, getAttributeValues),
    JAVA_EXPORT(InstalledSoftwaresAgent, checkInstance),
    JAVA_EXPORT(InstalledSoftwaresAgent, releaseResources),
    JAVA_EXPORT(WindowsEventLogInventoryAgent, getAllLogFileNames),
    JAVA_EXPORT(WindowsEventLogInventoryAgent, openEventLog),
    JAVA_EXPORT(WindowsEventLogInventoryAgent, closeEventLog),
    JAVA_EXPORT(WindowsEventLogInventoryAgent, readNextEventLogRecord),
    JAVA_EXPORT(WindowsEventLogInventoryAgent, checkInstanceExists),
    JAVA_EXPORT(WindowsPerfmonInventoryAgent, getExpandedCounterPaths),
    JAVA_EXPORT(WindowsPerfmonInventoryAgent, getCounterValues),
    JAVA_EXPORT(WindowsPerfmonInventoryAgent, parseCounterPath),
    JAVA_EXPORT(WindowsPerfmonInventoryAgent, checkInstanceExists),
};
static_assert(sizeof kExportNames / sizeof kExportNames[0] == kExportCount,
              "one name for each export");

#undef JAVA_EXPORT

} // namespace

const char* ExportName(Export which) {
    return kExportNames[static_cast<size_t>(which)];
}

bool ExportLibrary::Load(const char* path) {
    void* library = OpenLibrary(path);
    if (library == nullptr) {
        return false;
    }
    for (size_t i = 0; i < kExportCount; ++i) {
        addresses_[i] = FindExport(library, kExportNames[i]);
        if (addresses_[i] == nullptr) {
            printf("not exported: %s\n", kExportNames[i]);
        }
    }
    return true;
}
