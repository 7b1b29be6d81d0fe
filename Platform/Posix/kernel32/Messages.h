// FormatMessageA: message texts by number, from the message table of a module loaded as a data
// file (FORMAT_MESSAGE_FROM_HMODULE) and from the system's own table (FORMAT_MESSAGE_FROM_SYSTEM,
// the machine image's: SystemMessages.h), into the caller's buffer or one it allocates (LocalFree
// releases it). Language 0 asks for Windows' order of languages (MessageTableLanguage).
//
// Inserts (%1..%99) stay as they stand under FORMAT_MESSAGE_IGNORE_INSERTS, or are filled from an
// argument array (FORMAT_MESSAGE_ARGUMENT_ARRAY; see MessageExpansion.h for the formats); a
// va_list is not read, so a text with an insert fails with ERROR_INVALID_PARAMETER without one of
// the two. FORMAT_MESSAGE_FROM_STRING and widths other than none and
// FORMAT_MESSAGE_MAX_WIDTH_MASK (line ends become blanks) are refused the same way.
#pragma once

#include "Platform/Posix/common/Win32Types.h"
#include "Platform/Posix/common/WinError.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

extern "C" {
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments);
}
