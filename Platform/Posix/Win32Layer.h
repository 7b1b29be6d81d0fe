// The Win32 layer for Linux: the subset of the Win32 ANSI API that the library uses, declared
// as <windows.h> declares it, so that the same agent code builds against either. Only the
// headers below are the layer's public face; the others are its own (see LayerInternal.h).
// Each folder stands for the Windows DLL whose functions it holds, as the DLL's link line names
// them; common/ holds what several of them share.
#pragma once

#include "Platform/Posix/common/Win32Types.h"
#include "Platform/Posix/common/WinError.h"

#include "Platform/Posix/kernel32/Drives.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/Errors.h"
#include "Platform/Posix/kernel32/Files.h"
#include "Platform/Posix/kernel32/Folders.h"
#include "Platform/Posix/kernel32/Memory.h"
#include "Platform/Posix/kernel32/Messages.h"
#include "Platform/Posix/kernel32/Modules.h"
#include "Platform/Posix/kernel32/StringConversion.h"
#include "Platform/Posix/kernel32/Sync.h"
#include "Platform/Posix/kernel32/Time.h"

#include "Platform/Posix/advapi32/AccountSids.h"
#include "Platform/Posix/advapi32/EventLog.h"
#include "Platform/Posix/advapi32/Registry.h"
#include "Platform/Posix/advapi32/Services.h"

#include "Platform/Posix/shell32/ShellFolders.h"

#include "Platform/Posix/version/Version.h"

#include "Platform/Posix/pdh/Pdh.h"
