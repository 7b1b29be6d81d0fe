#include "Platform/Posix/LayerTestHooks.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/advapi32/ServicesTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/kernel32/EnvironmentTestHooks.h"
#include "Platform/Posix/kernel32/SystemMessages.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Posix/pdh/PdhTestHooks.h"

void LayerResetForTests() {
    FaultPlanClear();
    RegistryResetForTests();
    ServicesResetForTests();
    TestClockStop();
    EnvironmentRestoreDefaultsForTests();
    PdhSetReleaseQuirksForTests(PdhReleaseQuirks());
    SystemMessagesResetForTests();
}
