// DOS paths <-> Unix paths through the drive map of the machine image (see MachineImage.h).
//
// A DOS path may be absolute ("C:\logs\a.LOG", "c:/x"), drive-relative ("C:x"), rooted ("\x")
// or relative ("logs\a.log"); both separators are accepted, "." and ".." are folded away before
// the drive map is consulted, as Windows does. A component that does not exist under its exact
// name matches an existing one case-insensitively; components that do not exist keep their case.
//
// DOS paths are text of the ANSI code page and Unix names UTF-8, as Wine keeps them: "Café" is
// "Caf\xE9" on one side and "Caf\xC3\xA9" on the other. A Unix name comes back with what the code
// page cannot hold as its best fit or '?', and with '?' for each byte that is no UTF-8.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// Windows takes either slash as a separator in a DOS path.
inline bool IsDosSeparator(char c) {
    return c == '\\' || c == '/';
}

// The Unix path of a DOS path; it need not exist. On failure returns false with the last error
// set: ERROR_PATH_NOT_FOUND (empty path, no such drive), ERROR_BAD_NETPATH (UNC path),
// ERROR_FILENAME_EXCED_RANGE (does not fit in out), or the errno of a folder on the way that could
// not be searched for a name's case, as its Win32 code.
bool DosPathToUnix(const char* dos, char* out, size_t outSize);

// The DOS form of a Unix path (absolute or relative to the current directory): the drive whose
// root is the longest one containing it, Z:\... when none does. Fails only with
// ERROR_FILENAME_EXCED_RANGE or ERROR_INVALID_PARAMETER.
bool UnixPathToDos(const char* unixPath, char* out, size_t outSize);

// The absolute, folded DOS form of a DOS path ("X:\a\b", "X:\" for a root); same errors as
// DosPathToUnix, without looking at the drive map for the drive itself.
bool FullDosPath(const char* dos, char* out, size_t outSize);

// The DOS form of the current directory.
bool CurrentDosDirectory(char* out, size_t outSize);

// The Unix path of relative ('/' between Unix names) below an existing folder, each component
// under the name it has on disk where one matches ignoring case, as Windows matches names. False
// when the whole path is not there or does not fit; the last error is left as it was.
bool UnixPathBelowIgnoringCase(const char* folder, const char* relative, char* out, size_t outSize);
