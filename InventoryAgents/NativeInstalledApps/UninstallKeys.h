// The keys of installed software: the chain from HKEY_LOCAL_MACHINE down to
// Software\Microsoft\Windows\CurrentVersion\Uninstall, kept open across calls until
// releaseResources closes it, and the program subkeys below it.
#pragma once

#include "Platform/Win32.h"

// A call that works under the kept keys holds one of these for as long as it does: a
// releaseResources meanwhile, on any thread, leaves the closing to the last holder.
class KeyCacheUse {
  public:
    KeyCacheUse();
    ~KeyCacheUse();
    KeyCacheUse(const KeyCacheUse&) = delete;
    KeyCacheUse& operator=(const KeyCacheUse&) = delete;
};

// Each returns its kept handle, opening it (and any ancestor not yet open) first; null when an
// open failed. Callers never close these handles, and use them only while they hold a
// KeyCacheUse.
HKEY GetHandleForSoftwareSubkey();
HKEY GetHandleForMicrosoftSubkey();
HKEY GetHandleForWindowsSubkey();
HKEY GetHandleForCurrentVersionSubkey();
HKEY GetHandleForUninstallSubkey();

// A new handle of one subkey of the Uninstall key, which the caller closes; null on failure.
// GetHandleForSubkey takes the kept Uninstall key itself; a caller that already holds a
// KeyCacheUse and the Uninstall handle (the walk, once per program) opens through
// OpenProgramSubkey and spares the cache lock. Both log a failure under GetHandleForSubkey's
// name, so the records are the same either way.
HKEY GetHandleForSubkey(const char* subkeyName);
HKEY OpenProgramSubkey(HKEY uninstall, const char* subkeyName);
