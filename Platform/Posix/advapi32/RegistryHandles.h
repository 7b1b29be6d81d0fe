// Registry key handles: the predefined keys and the handles the layer hands out, each with the
// access it was opened with.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/RegistryState.h"

struct KeyRef {
    RegKeyPtr key;
    DWORD access = 0;
    bool predefined = false;
};

// The low 32 bits of a predefined key, or 0 for any other handle value. Windows looks at the
// low half only, so the zero-extended forms work as well.
DWORD PredefinedToken(HKEY hkey);

// The key behind a handle, with the access it was opened with; create makes a predefined root
// that does not exist yet.
LONG ResolveKey(RegistryState& state, HKEY hkey, bool create, KeyRef* ref);

// The key behind a handle that was opened with at least the access a call needs.
LONG ResolveKeyFor(RegistryState& state, HKEY hkey, bool create, DWORD needed, KeyRef* ref);

// What a handle opened with `wanted` may do.
DWORD GrantedAccess(REGSAM wanted);

// A new handle on key; the last error stays as it was.
LONG NewHandle(RegKey* key, DWORD access, PHKEY result);
