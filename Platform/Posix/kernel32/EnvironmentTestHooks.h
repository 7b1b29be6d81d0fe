// Layer-internal entry points of the environment, for tests.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

// Brings back every Windows default that SetEnvironmentVariableA deleted (%SystemRoot% and the
// like), which otherwise stays deleted for the rest of the process.
void EnvironmentRestoreDefaultsForTests();
