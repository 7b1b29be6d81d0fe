#include "tests/support/TestMachine.h"

#include <windows.h>

#include <gtest/gtest.h>

void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees) {
    for (const char* subtree : machineSubtrees) {
        LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, subtree);
        EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
            << "HKLM\\" << subtree << " stays in the prefix: " << status;
    }
}

void RestoreTestServices(const std::vector<std::string>& created) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(nullptr, manager) << GetLastError();
    for (const std::string& name : created) {
        SC_HANDLE service = OpenServiceA(manager, name.c_str(), DELETE);
        EXPECT_TRUE(service != nullptr && DeleteService(service))
            << "the service " << name << " stays in the prefix: " << GetLastError();
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}
