// Registry key paths as Java passes them to the registry agent's exports, through the JNI
// stand-in: the instance check (a key when the path ends in a backslash, else a value after the
// last one), child keys, child values and the last-write time, over a registry that has the
// keys the seeds name.
#include "fuzz/FuzzMachine.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#define REGISTRY_EXPORT(method)                                                                    \
    Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_##method

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CallWithJavaString(data, size,
                       {CallOnText<REGISTRY_EXPORT(checkInstanceExists)>,
                        CallOnText<REGISTRY_EXPORT(getChildKeyNames)>,
                        CallOnText<REGISTRY_EXPORT(getChildValueNames)>,
                        CallOnText<REGISTRY_EXPORT(getLastModifiedTime)>});
    return 0;
}
