// The library's load notification. Nothing is set up yet at load; every agent prepares what it
// needs at the start of each call.
#include "Platform/Win32.h"

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
