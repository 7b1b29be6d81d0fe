#include "tests/host/ExportLibrary.h"

#include <dlfcn.h>
#include <stdio.h>

void* OpenLibrary(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    }
    return library;
}

void* FindExport(void* library, const char* name) {
    return dlsym(library, name);
}
