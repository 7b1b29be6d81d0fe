// The first include of every header that is the layer's own rather than Win32's: agent code sees
// the layer only as <windows.h> would show it, through Platform/Win32.h, so such a header stops
// the build anywhere but in the layer and its own tests (whose targets define the macro).
#pragma once

#ifndef PALLWICK_WIN32_LAYER_INTERNAL
#error "A header of the Win32 layer's internals: agent code includes Platform/Win32.h only"
#endif

#include <stddef.h>

// Room for any Unix path the layer builds (Linux's PATH_MAX).
constexpr size_t kPathCapacity = 4096;
