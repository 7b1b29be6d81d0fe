// The Windows machine the layer stands in for: a Wine-style prefix, the folder named by
// WINEPREFIX (default $HOME/.wine), whose registry files load into the registry and whose drive
// map gives drive letters their folders. A link dosdevices/<x>: maps letter x and wins; without
// one, C: is drive_c/ and Z: is /; any other letter is no drive. The prefix is read on every call.
//
// Or a Windows volume: the folder named by PALLWICK_WINDOWS_ROOT, a Windows installation that is
// not running (a virtual machine's disk mounted read-only, a backup). It takes the prefix's place:
// its root is C:, no other letter is a drive, so nothing of the host shows through, and nothing
// below it is ever written.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

// The prefix folder; false when neither WINEPREFIX nor HOME is set.
bool WinePrefixFolder(char* out, size_t outSize);

// The Windows volume's folder as PALLWICK_WINDOWS_ROOT names it; false when that is not set.
bool WindowsVolumeFolder(char* out, size_t outSize);

// The image the machine is: the Windows volume when one is named, else the prefix; *isVolume
// tells which. False when there is neither.
bool MachineImageFolder(char* out, size_t outSize, bool* isVolume);

// Whether a Unix path lies below the Windows volume, which the layer never writes: such a write
// fails as on read-only media (EROFS). A relative path is taken from the current directory.
bool IsOnWindowsVolume(const char* path);

// The existing Unix folder that drive letter (either case) maps to, with links resolved; *linked,
// when asked for, tells whether a dosdevices link names the letter.
bool DriveRootFolder(char letter, char* out, size_t outSize, bool* linked = nullptr);

// The image's DLL that holds the system's message table, in the system folder
// (C:\windows\system32) of the image folder given: kernelbase.dll, or kernel32.dll on systems
// older than Windows 7. Its Unix path; false when the image has neither file.
bool SystemMessageFile(const char* image, bool isVolume, char* out, size_t outSize);

// Where the host's process and system figures are read (modules, counters): the folder named by
// PALLWICK_PROC_ROOT, default /proc, read on every call as the prefix is, so that tests can hold
// the layer to a fixed tree.
const char* ProcRootFolder();

// <proc root>/relative (say "self/exe"); false when it does not fit.
bool ProcPath(const char* relative, char* out, size_t outSize);
