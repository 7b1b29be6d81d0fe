// Installed software: the programs registered under the Uninstall key of HKEY_LOCAL_MACHINE
// (Software\Microsoft\Windows\CurrentVersion\Uninstall), their attribute values as text, and
// whether one of them is still registered.
#pragma once

#include "Platform/Win32.h"

#include <stdint.h>

// The chain of keys down to Uninstall stays open across calls until releaseResources closes it.
// Each returns its cached handle, opening it (and any ancestor not yet open) first; null when an
// open failed. Callers never close these handles.
HKEY GetHandleForSoftwareSubkey();
HKEY GetHandleForMicrosoftSubkey();
HKEY GetHandleForWindowsSubkey();
HKEY GetHandleForCurrentVersionSubkey();
HKEY GetHandleForUninstallSubkey();

// A new handle of one subkey of the Uninstall key, which the caller closes; null on failure.
HKEY GetHandleForSubkey(const char* subkeyName);

// The buffer size the value's text needs, terminator included: -1 when the value is missing or
// unreadable, 0 when its type gives no text.
int32_t findSizeOfBuffer(HKEY* subkey, const char* attributeName);

// Writes the value's text into a buffer of *bufferSize bytes (never past it) and returns 0, or
// returns -1 when there is no text to give.
int32_t FindValueOfAttribute(HKEY* subkey, const char* attributeName, char* buffer,
                             int32_t* bufferSize);
