#include "tests/support/TestMachine.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"

void RestoreTestRegistry(std::initializer_list<const char*>) {
    FaultPlanClear();
    RegistryResetForTests();
}

void RestoreTestServices(const std::vector<std::string>&) {
    FaultPlanClear();
    ServicesResetForTests();
    RegistryResetForTests();
}
