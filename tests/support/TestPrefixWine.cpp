// Under Wine the machine image is the running server's prefix: a test cannot switch to another
// one, nor map drive letters for itself. Cases that need to are not run on the DLL.
#include "tests/support/TestPrefix.h"

#include "tests/support/TestMachine.h"

#include <gtest/gtest.h>

TestPrefix::TestPrefix() {
    ReportMachineFailuresToTests();
}

TestPrefix::~TestPrefix() = default;

void TestPrefix::MapDrive(char letter, const std::string&) {
    ADD_FAILURE() << "a running Wine cannot map " << letter << ": for one test";
}

std::string WinebootPrefix() {
    return "";
}

// The tests' prefix fixture made the running prefix with wineboot.
bool UseWinebootImage() {
    return true;
}
