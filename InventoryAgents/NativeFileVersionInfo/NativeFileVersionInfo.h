// Version metadata of executable files: the ten standard strings of every translation of a
// file's version resource.
#pragma once

#include "Platform/Win32.h"

// Writes "\StringFileInfo\<language><code page>\<property>" into a buffer of 1,024 characters, as
// StringCchPrintf would: S_OK, or STRSAFE_E_INSUFFICIENT_BUFFER with the text cut at 1,023.
HRESULT GetFormattedPropertyValue(char* buffer, const char* propertyName, WORD language,
                                  WORD codePage);
