// A service's DisplayName and Description as the manager gives them: a value of the form
// "@<file>,-<id>[;<comment>]" stands for string id of that PE file's string tables, or of its
// language file <folder>\<language>\<file>.mui beside it, which the manager loads in place of the
// value (since Windows Vista). Any other value is the text itself.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// The text a stored value stands for, in a block the caller frees: ERROR_SUCCESS with *text
// null when the value is no indirect string (it stands for itself). The file is named by a DOS
// path of the machine image, environment variables expanded; a bare file name is looked for in
// the system folder. Otherwise the loader's error: ERROR_MUI_FILE_NOT_FOUND when the file is not
// there, or when it keeps its strings in language files and none of them is there;
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND when neither it nor its language
// files hold the string; ERROR_BAD_EXE_FORMAT for a file that is no PE file; the Win32 error of a
// read that failed; ERROR_NOT_ENOUGH_MEMORY.
DWORD LoadIndirectText(const char* stored, char** text);

// The display name in place of the stored one: the text it stands for, or the stored value
// itself when that cannot be loaded, as the manager falls back. False only when memory runs out.
bool ResolveDisplayName(char** display);
