#include "tests/host/ExportLibrary.h"

#include <stdio.h>

bool ExportLibrary::Load(const char* path) {
    void* library = OpenLibrary(path);
    if (library == nullptr) {
        return false;
    }
    for (size_t i = 0; i < kExportCount; ++i) {
        addresses_[i] = FindExport(library, kExportCatalogue[i].symbol);
        if (addresses_[i] == nullptr) {
            printf("not exported: %s\n", kExportCatalogue[i].symbol);
        }
    }
    return true;
}
