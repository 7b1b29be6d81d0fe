// Layer-internal entry points of the registry, for tests and for other areas of the layer.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Registry.h"

// Drops the whole tree; the next registry call loads it again from the current WINEPREFIX.
// Handles still open stay valid and see their keys as deleted (ERROR_KEY_DELETED).
void RegistryResetForTests();

// Sets the last-write time of an open key, for tests that need keys with chosen times.
LSTATUS RegistrySetKeyTimeForTests(HKEY key, const FILETIME* time);
