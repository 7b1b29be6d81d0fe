#include "tests/support/TestMachine.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Where the image's subtrees wait while a case runs: one key each, named by the subtree's path.
constexpr char kSetAsideRoot[] = "Software\\PallwickTestsSetAside";
std::vector<std::string> g_setAside;

std::string SetAsidePlace(std::string subtree) {
    std::replace(subtree.begin(), subtree.end(), '\\', '|');
    return std::string(kSetAsideRoot) + "\\" + subtree;
}

// Copies one HKEY_LOCAL_MACHINE subtree with its values, creating the target.
LSTATUS CopyMachineTree(const std::string& from, const std::string& to) {
    HKEY source = nullptr, target = nullptr;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, from.c_str(), 0, KEY_READ, &source);
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &target, nullptr);
    }
    if (status == ERROR_SUCCESS) {
        status = RegCopyTreeA(source, nullptr, target);
    }
    RegCloseKey(target);
    RegCloseKey(source);
    return status;
}

void DeleteMachineTree(const std::string& subtree) {
    EXPECT_TRUE(RemoveMachineTree(subtree)) << "HKLM\\" << subtree << " stays in the prefix";
}

} // namespace

void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees) {
    for (const char* subtree : machineSubtrees) {
        DeleteMachineTree(subtree);
        auto setAside = std::find(g_setAside.begin(), g_setAside.end(), subtree);
        if (setAside != g_setAside.end()) {
            EXPECT_EQ(ERROR_SUCCESS, CopyMachineTree(SetAsidePlace(subtree), subtree))
                << "the image's HKLM\\" << subtree << " did not come back";
            DeleteMachineTree(SetAsidePlace(subtree));
            g_setAside.erase(setAside);
        }
    }
    if (g_setAside.empty()) {
        DeleteMachineTree(kSetAsideRoot);
    }
}

void SetAsideTestKey(const char* machineSubtree) {
    HKEY image = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, machineSubtree, 0, KEY_READ, &image) != ERROR_SUCCESS) {
        return;
    }
    RegCloseKey(image);
    ASSERT_EQ(ERROR_SUCCESS, CopyMachineTree(machineSubtree, SetAsidePlace(machineSubtree)));
    g_setAside.push_back(machineSubtree);
    DeleteMachineTree(machineSubtree);
}

void StopTestFaults() {}

void RestoreTestServices(const std::vector<std::string>& created) {
    for (const std::string& name : created) {
        EXPECT_TRUE(RemoveService(name)) << "the service " << name << " stays in the prefix";
    }
}

void SetTestEnvironment(const char* name, const char* value) {
    EXPECT_TRUE(SetEnvironmentVariableA(name, value)) << name << ": " << GetLastError();
}
