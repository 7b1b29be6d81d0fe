#include "tests/support/TestRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees) {
    for (const char* subtree : machineSubtrees) {
        LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, subtree);
        EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
            << "HKLM\\" << subtree << " stays in the prefix: " << status;
    }
}
