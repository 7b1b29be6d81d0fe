// The attributes of a file that Files.cpp reports for a handle, derived as GetFileAttributesA
// derives them for a path (Folders.h).
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <sys/stat.h>

// The file an open descriptor names, by the name it goes by now.
DWORD AttributesOfOpenFile(int descriptor, const struct stat& info);
