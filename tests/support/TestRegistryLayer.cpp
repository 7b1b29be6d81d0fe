#include "tests/support/TestRegistry.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"

void RestoreTestRegistry(std::initializer_list<const char*>) {
    FaultPlanClear();
    RegistryResetForTests();
}
