// Reading the host's figures under the layer's proc root: whole small files through the fault
// plan's calls, and the fields of their lines.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"
#include "Platform/Posix/common/Win32Types.h"

#include <string>
#include <vector>

// <proc root>/relative whole (bounded: these files are a few pages); false when it cannot be read.
bool ReadProcText(const char* relative, std::string* text);

// The value of a "Key: value" line (meminfo, status; "key value" for vmstat) as a number.
bool ProcKeyValue(const std::string& text, const char* key, double* value);

// The whitespace-separated fields of one line.
std::vector<std::string> ProcFields(const std::string& line);

// The lines of a text, without their ends.
std::vector<std::string> ProcLines(const std::string& text);

// The sample clock of the objects' readers (monotonic, in 100 ns units).
ULONGLONG PerfSampleTime100ns();
