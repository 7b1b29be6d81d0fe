// The function type of each export of the catalogue, from the declaration javac -h made of its
// native method: a row that names a method the Java host classes do not declare does not compile.
#pragma once

#include "tests/support/ExportCatalogue.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"
#include "com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsPerfmonInventoryAgent.h"
#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

template <Export which> struct ExportFunctionOf;

#define PALLWICK_EXPORT_FUNCTION(id, javaClass, method, ...)                                       \
    template <> struct ExportFunctionOf<Export::id> {                                              \
        using Type = decltype(&Java_com_quorvane_inventory_inventoryagent_##javaClass##_##method); \
    };
PALLWICK_EXPORT_CATALOGUE(PALLWICK_EXPORT_FUNCTION)
#undef PALLWICK_EXPORT_FUNCTION

template <Export which> using ExportFunction = typename ExportFunctionOf<which>::Type;
