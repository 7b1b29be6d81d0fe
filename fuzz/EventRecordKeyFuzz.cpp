// Event record keys as Java passes them to the event log agent's instance check, through the
// JNI stand-in: the key taken apart at its colons, the log it names opened and read through,
// each record's numbers compared and its message text looked up and hashed. The Application log
// of the fuzz machine holds three records, whose keys are the seeds.
#include "fuzz/FuzzMachine.h"

#include "com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CallWithJavaString(
        data, size,
        {CallOnText<
            Java_com_quorvane_inventory_inventoryagent_WindowsEventLogInventoryAgent_checkInstanceExists>});
    return 0;
}
