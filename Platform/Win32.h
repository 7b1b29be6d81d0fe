// The one switch between the real Windows headers and our Win32 layer for Linux.
// Agent code includes this header only and calls the ANSI Win32 functions by their own names.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlobj.h>
#include <winver.h>
#include <winsvc.h>
#else
#include "Posix/Win32Layer.h"
#endif
