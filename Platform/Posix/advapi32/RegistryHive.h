// The registry of a Windows volume: its hive files (regf) read through libregf into the tree, as
// Windows mounts them at boot, and never written back.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/advapi32/RegistryTree.h"

#include <libregf.h>

#include <string>
#include <vector>

// Loads the keys and values of the hive file at path below base: names, classes, last-write
// times, value types and data exactly as stored. A damaged part (a key list that loops or is
// shared, a value whose data runs past the file, keys nested past Windows' limit) is left out and
// the rest loads. False when the file is no hive libregf can open.
bool RegistryLoadHive(const char* path, RegKey& base);

// A value's data as Windows stores it, read through libregf from the hive that hive (a descriptor
// of the same file) holds: libregf errs on data of one to three bytes, which Windows keeps in the
// value's own cell, and that is read there. False when the data cannot be read.
bool RegistryHiveValueData(int hive, libregf_value_t* value, std::vector<BYTE>* data);

// Builds the machine's registry from the volume whose root (C:) is the Unix folder given, below
// registryRoot ("Machine", "User"): SYSTEM with CurrentControlSet linked to the control set that
// Select\Current names, SOFTWARE, SAM, SECURITY, .DEFAULT and each profile's NTUSER.DAT. A hive
// file that is missing leaves its key out. *currentUser is the path below registryRoot that
// HKEY_CURRENT_USER stands for: the profile that PALLWICK_WINDOWS_USER names (its SID or its
// folder's name), else .DEFAULT.
void RegistryLoadVolume(const char* volume, RegKey& registryRoot, std::u16string* currentUser);
