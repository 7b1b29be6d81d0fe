// What the fuzz targets share: a throw-away machine image for the layer calls that read files or
// the registry, and the input's bytes written where those calls find them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Makes, once per process, a prefix folder of its own (in memory where /dev/shm allows) with
// drive_c and a system.reg of this text (when the text is not empty), points WINEPREFIX at it and
// the proc root at an empty folder, and removes it all at exit. Returns the prefix's Unix path.
const std::string& FuzzPrefix(const char* systemReg);

// Replaces the file at the Unix path with these bytes; false when it cannot be written whole.
bool WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size);

// Stops the run (as a finding) when a property that must hold does not.
void FuzzCheck(bool holds, const char* what);
