#include "tests/host/ExportLibrary.h"

#include <windows.h>

#include <stdio.h>

void* OpenLibrary(const char* path) {
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr) {
        fprintf(stderr, "cannot load %s: error %lu\n", path, GetLastError());
    }
    return reinterpret_cast<void*>(library);
}

void* FindExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
