// The registry as the machine image has it, again after a test wrote its fixtures. On Linux the
// layer forgets every write (and every failure planned for its calls) and reads the image anew;
// under Wine, where writes persist in the shared prefix, the HKEY_LOCAL_MACHINE subtrees the test
// names are deleted.
#pragma once

#include <initializer_list>

void RestoreTestRegistry(std::initializer_list<const char*> machineSubtrees);
