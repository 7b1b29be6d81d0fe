// How FormatMessage writes a message text out: its escapes, its line ends and its inserts.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <string>

// Appends the message as FormatMessage writes it. %0 ends it; %n, %r and %t are a line end, a
// carriage return and a tab; any other character after a % stands for itself (kept with its % when
// inserts are ignored); line ends in the text become CR LF, or blanks when unbroken.
// %1..%99 are inserts: left as they stand when arguments is null and inserts are ignored, else
// argument n of the array, formatted by the printf-style format between exclamation marks
// that may follow (!s! when none does): s and c take text and a character, d, i, u, o, x and X
// numbers (32-bit, or 64-bit with I64 or ll), with flags, a width and a precision.
// ERROR_INVALID_PARAMETER for a text ending in a lone %, an insert without arguments, and a
// format outside that set (the layer reads no wide text and takes no width from the
// arguments).
DWORD ExpandMessageText(const std::string& message, bool unbroken, bool ignoreInserts,
                        const DWORD_PTR* arguments, std::string* out);
