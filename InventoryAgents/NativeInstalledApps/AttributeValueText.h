// One attribute of one program as text: the size its buffer needs, then the text by the value's
// registry type.
#pragma once

#include "Platform/Win32.h"

#include <stdint.h>

// The buffer size the value's text needs, terminator included: -1 when the value is missing or
// unreadable, 0 when its type gives no text.
int32_t findSizeOfBuffer(HKEY* subkey, const char* attributeName);

// Writes the value's text into a buffer of *bufferSize bytes (never past it) and returns 0, or
// returns -1 when there is no text to give.
int32_t FindValueOfAttribute(HKEY* subkey, const char* attributeName, char* buffer,
                             int32_t* bufferSize);
