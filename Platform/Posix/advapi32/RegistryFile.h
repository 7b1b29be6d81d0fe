// Loads the text files of a Wine-style prefix ("WINE REGISTRY Version 2": system.reg, user.reg,
// userdef.reg) into the in-memory tree, as Wine's server reads them: a malformed line is reported
// nowhere and skipped, and the rest of the file still loads.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/RegistryTree.h"

#include <stddef.h>

// Loads text below base; registryRoot resolves link keys met on the way. False when the text is
// no registry file (the first line is not the format's header).
bool RegistryLoadText(const char* text, size_t length, RegKey& base, RegKey& registryRoot);

// As RegistryLoadText for a file; false when it cannot be read.
bool RegistryLoadFile(const char* path, RegKey& base, RegKey& registryRoot);
