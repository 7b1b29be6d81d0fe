// Windows' English texts of the system messages, as FormatMessageA(FROM_SYSTEM) copies them.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// The text of a system message, ending in "\r\n", or nullptr for a code the layer never returns
// (the codes and their texts are one list, in WinError.h).
const char* SystemMessageText(DWORD code);
