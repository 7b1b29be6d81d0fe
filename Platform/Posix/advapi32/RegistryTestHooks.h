// Layer-internal entry points of the registry, for tests and for other areas of the layer.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Registry.h"

// Drops the whole tree; the next registry call loads it again from the current WINEPREFIX.
// Handles still open stay valid and see their keys as deleted (ERROR_KEY_DELETED).
void RegistryResetForTests();

// Sets the last-write time of an open key, for tests that need keys with chosen times.
LSTATUS RegistrySetKeyTimeForTests(HKEY key, const FILETIME* time);

// The registry functions a fault hook sees.
enum class RegistryCall {
    OpenKey,
    CreateKey,
    DeleteKey,
    SetValue,
    DeleteValue,
    QueryValue,
    QueryInfoKey,
    EnumKey,
    EnumValue,
};

// Called at the start of every registry function, outside the registry's lock, so a hook may
// itself call the registry (to grow a value between two calls, say). A result other than
// ERROR_SUCCESS is returned by the function at once, with no other effect. Null removes the hook.
typedef LONG (*RegistryFaultHook)(RegistryCall call, void* context);
void RegistrySetFaultHookForTests(RegistryFaultHook hook, void* context);
