// Names and key paths: the A functions' ANSI names in the registry's UTF-16, and the walk along
// a key path that opens or creates its keys, following links as Windows does.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/RegistryTree.h"
#include "Platform/Posix/common/Win32Types.h"

#include <string>

std::u16string AnsiName(LPCSTR name);

// A key path as the A functions take it; ERROR_MORE_DATA when it is too long to convert.
LONG KeyPathFromAnsi(LPCSTR name, std::u16string* path);

// Walks path below start as Windows opens it: every key on the way that is a link is followed,
// the last one unless openLink asks for the link itself.
LONG FindPath(RegKey& registryRoot, RegKey& start, const std::u16string& path, bool openLink,
              RegKey** found);

// Creates the keys of path that are missing; *created tells whether the last one was.
LONG CreatePathChecked(RegKey& registryRoot, RegKey& start, const std::u16string& path,
                       ULONGLONG time, RegKey** result, bool* created);

// As CreatePathChecked, null on any failure.
RegKey* CreatePath(RegKey& registryRoot, RegKey& start, const std::u16string& path, ULONGLONG time);
