// The Win32 layer for Linux: the subset of the Win32 ANSI API that the library uses, declared
// as <windows.h> declares it, so that the same agent code builds against either. Only the
// headers below are the layer's public face; the others are its own (see LayerInternal.h).
#pragma once

#include "Platform/Posix/Win32Types.h"
#include "Platform/Posix/WinError.h"

#include "Platform/Posix/Drives.h"
#include "Platform/Posix/Environment.h"
#include "Platform/Posix/Errors.h"
#include "Platform/Posix/Files.h"
#include "Platform/Posix/Folders.h"
#include "Platform/Posix/Modules.h"
#include "Platform/Posix/Registry.h"
#include "Platform/Posix/Services.h"
#include "Platform/Posix/Sync.h"
#include "Platform/Posix/Time.h"
#include "Platform/Posix/Version.h"
