#include "InventoryAgents/NativeInstalledApps/UninstallKeys.h"

#include "Platform/Posix/advapi32/RegistryTestHooks.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Win32.h"
#include "tests/support/Machine.h"
#include "tests/support/TestPrefix.h"

#include "com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Every open lingers a little, so that a release on another thread lands inside it.
DWORD SlowOpen(LayerCall call, const char*, void*) {
    if (call == LayerCall::RegOpenKeyExA) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return ERROR_SUCCESS;
}

jboolean ReleaseResources() {
    return Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(
        nullptr, nullptr);
}

// Instance checks open program subkeys under the kept Uninstall key while another thread keeps
// releasing the kept keys: no open may find its parent closed under it.
TEST(InstalledAppsKeyCacheTest, ReleaseOnAnotherThreadClosesNoKeyInUse) {
    TestPrefix prefix;
    RegistryResetForTests();
    ASSERT_TRUE(PutKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Present"));

    FaultPlanSetAreaHook(FaultArea::Registry, &SlowOpen, nullptr);
    std::atomic<bool> done{false};
    std::thread releaser([&] {
        while (!done) {
            EXPECT_EQ(JNI_TRUE, ReleaseResources());
        }
    });
    int failures = 0;
    for (int i = 0; i < 500; ++i) {
        HKEY subkey = GetHandleForSubkey("Present");
        if (subkey == nullptr) {
            ++failures;
        } else {
            RegCloseKey(subkey);
        }
    }
    done = true;
    releaser.join();
    FaultPlanSetAreaHook(FaultArea::Registry, nullptr, nullptr);
    EXPECT_EQ(0, failures);
    EXPECT_EQ(JNI_TRUE, ReleaseResources());
    RegistryResetForTests();
}

} // namespace
