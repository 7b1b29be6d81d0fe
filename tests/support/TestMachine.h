// The machine image as it was, again after a test wrote its fixtures. On Linux the layer forgets
// every write (and every failure planned for its calls) and reads the image anew; under Wine,
// where writes persist in the shared prefix, what the test names is deleted.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// The registry: on Wine, the HKEY_LOCAL_MACHINE subtrees named.
void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees);

// The services, and on Linux the registry they are kept in: on Wine, the services named.
void RestoreTestServices(const std::vector<std::string>& created);
