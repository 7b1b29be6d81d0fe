#include "tests/support/TestMachine.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Posix/pdh/PdhTestHooks.h"

#include <stdlib.h>

void RestoreTestRegistry(std::initializer_list<const char*>) {
    FaultPlanClear();
    RegistryResetForTests();
}

void RestoreTestServices(const std::vector<std::string>&) {
    FaultPlanClear();
    ServicesResetForTests();
    RegistryResetForTests();
}

void SetAsideTestKey(const char*) {}

void StopTestFaults() {
    FaultPlanClear();
    TestClockStop();
    PdhSetReleaseQuirksForTests(PdhReleaseQuirks());
}

void SetTestEnvironment(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}
