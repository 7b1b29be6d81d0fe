// The machine image as it was, again after a test wrote its fixtures (through Machine.h). On
// Linux the layer forgets every write (and every failure planned for its calls) and reads the
// image anew; under Wine, where writes persist in the shared prefix, what the test names is
// deleted.
#pragma once

#include "tests/support/Machine.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

// From now on a failure to put something on the machine fails the running test (a throw-away
// prefix does this as it is made).
inline void ReportMachineFailuresToTests() {
    SetMachineFailureReport([](const std::string& what) { ADD_FAILURE() << what; });
}

// The registry: on Wine, the HKEY_LOCAL_MACHINE subtrees named are deleted, and those set aside
// come back as the image had them.
void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees);

// On Wine, the image's own HKEY_LOCAL_MACHINE subtree goes aside until RestoreTestRegistry, so
// that the case finds only what it writes there; a Linux test's empty prefix has none to begin
// with.
void SetAsideTestKey(const char* machineSubtree);

// On Linux, every failure a case planned or hooked into the layer, the layer's test clock and
// the answers of other releases that PDH gave, stop; Windows has none.
void StopTestFaults();

// The services, and on Linux the registry they are kept in: on Wine, the services named.
void RestoreTestServices(const std::vector<std::string>& created);

// A variable of the environment the library's Win32 calls expand from; null removes it.
void SetTestEnvironment(const char* name, const char* value);
