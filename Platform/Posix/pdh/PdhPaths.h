// The counter path grammar `\\machine\object(parent/instance#index)\counter`, every part but the
// object and the counter optional. Pure functions: no I/O, no layer state.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"
#include "Platform/Posix/common/Win32Types.h"

#include <string>

struct CounterPath {
    std::string machine; // with its leading backslashes; empty when the path names none
    std::string object;
    bool hasParent = false; // `parent/` is written, if only as `/`
    std::string parent;
    std::string instance;
    bool hasInstance = false;
    bool hasIndex = false;
    DWORD index = 0;
    std::string counter;
};

// False when `text` is not a counter path, an index too large for a DWORD among them.
bool ParseCounterPath(const char* text, CounterPath* path);

// The path spelled as PDH spells it; `machine` with its leading backslashes.
std::string MakeCounterPath(const std::string& machine, const std::string& object, bool hasInstance,
                            const std::string& parent, const std::string& instance, DWORD index,
                            const std::string& counter);

// `*` matches any run of characters; everything else matches itself without regard to case.
bool WildcardMatches(const char* pattern, const char* text);
