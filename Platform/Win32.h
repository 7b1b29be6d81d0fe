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
#include <sddl.h>
#include <pdh.h>
#include <pdhmsg.h>
// <strsafe.h> would rename the C library's string functions; its code for a text cut short is
// all that agent code needs of it.
#ifndef STRSAFE_E_INSUFFICIENT_BUFFER
#define STRSAFE_E_INSUFFICIENT_BUFFER (static_cast<HRESULT>(0x8007007AL))
#endif
#else
#include "Posix/Win32Layer.h"
#endif
