// The registry inventory exports' fixture: a few keys and values below HKLM\SOFTWARE\Vendor,
// written through the Win32 API (Machine.h) before each case and gone after it.
#pragma once

#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPrefix.h"
#include "tests/support/TestMachine.h"

#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using Strings = std::optional<std::vector<std::string>>;

constexpr char kVendor[] = "SOFTWARE\\Vendor";

// Every case starts from a registry holding only what the fixtures write into an empty prefix.
class RegistryInventoryTest : public JvmTest {
  protected:
    void SetUp() override {
        JvmTest::SetUp();
        RestoreTestRegistry({kVendor});
        const std::string vendor = kVendor;
        SetText(vendor, "Version", "1.2");
        SetText(vendor, "Publisher", "Quorvane");
        for (const char* child : {"Gamma", "alpha", "Beta"}) {
            PutKey(vendor + "\\Children\\" + child);
        }
        PutKey(vendor + "\\Empty");
    }
    void TearDown() override {
        RestoreTestRegistry({kVendor});
        JvmTest::TearDown();
    }

    Strings Read(jobjectArray array) {
        EXPECT_FALSE(env->ExceptionCheck());
        if (array == nullptr) {
            return std::nullopt;
        }
        return TakeJavaStrings(env, array);
    }
    jstring Java(const char* text) { return text != nullptr ? JavaString(text) : nullptr; }
    Strings Keys(const char* path) {
        return Read(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                env, nullptr, Java(path)));
    }
    Strings ValueNames(const char* path) {
        return Read(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
                env, nullptr, Java(path)));
    }
    Strings Value(const char* path, const char* name) {
        return Read(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                env, nullptr, Java(path), Java(name)));
    }
    Strings Default(const char* path) {
        return Read(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getDefaultValue(
                env, nullptr, Java(path)));
    }
    jlong Time(const char* path) {
        return Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getLastModifiedTime(
            env, nullptr, Java(path));
    }
    int Exists(const char* id) {
        return Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
            env, nullptr, Java(id));
    }
    bool Logged(const std::string& message) const {
        std::vector<std::string> messages = log.Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    // The record that follows the first one holding message.
    std::string After(const std::string& message) const {
        std::vector<std::string> messages = log.Messages();
        auto found = std::find(messages.begin(), messages.end(), message);
        return found != messages.end() && found + 1 != messages.end() ? *(found + 1) : "<none>";
    }

    TestPrefix prefix;
    LogCapture log{"registryinventory-" + std::to_string(getpid())};
};

using Pair = std::vector<std::string>;
