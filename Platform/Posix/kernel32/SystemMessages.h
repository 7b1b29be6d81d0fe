// The system's own message texts, as FormatMessageA(FROM_SYSTEM) finds them: in the message table
// of the machine image's system DLL (MachineImage.h), as Windows reads its own, so that a Wine
// prefix gives Wine's wording and a Windows image Windows'. An image without such a table (no
// prefix, no file, a file without the table) gets the layer's own list of Windows' English
// texts, which holds the codes the layer returns.
//
// LogLastSystemError asks for a text on every failed call it logs, from any thread: the image's
// file is read once and its table kept, as Windows maps its own once for the life of a process,
// and read again only for another image (another WINEPREFIX, as tests switch them). What is kept
// is released when another image replaces it, or lives as long as the process.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <string>

// The text of a system message, ending in "\r\n", or nullptr for a code the layer never returns
// (the codes and their texts are one list, in WinError.h).
const char* SystemMessageText(DWORD code);

// The system's text of message id in the language asked for (0: Windows' order), with its line
// ends and inserts as the table holds them: ERROR_SUCCESS, ERROR_MR_MID_NOT_FOUND,
// ERROR_RESOURCE_LANG_NOT_FOUND, or the error of an image table that could not be read. An HRESULT
// of a Win32 error (0x8007xxxx) is answered with that error's text, as Windows does.
DWORD FindSystemMessage(DWORD id, DWORD languageId, std::string* text);

// ---- for tests ----

// Forgets the table kept, so that the next lookup reads the image's files as they are now.
void SystemMessagesResetForTests();
