// The library under test, loaded by path, and the addresses of the JNI exports the Java host
// classes bind to, as the export catalogue lists them. Where the Java side would fail with
// UnsatisfiedLinkError, the host names the missing export.
#pragma once

#include "tests/support/ExportFunctions.h"

class ExportLibrary {
  public:
    // Loads the library and resolves every export, printing "not exported: <name>" for each one
    // missing. False, with the reason on stderr, when the library could not be loaded.
    bool Load(const char* path);
    // The exports linked into this program (the sweep's: the layer's fault plan must reach the
    // library's own calls).
    static ExportLibrary Linked();

    // The export's address as its function type; null when it is not exported.
    template <Export which> ExportFunction<which> Get() const {
        return Get<ExportFunction<which>>(which);
    }
    // The same for exports of one type chosen as the program runs.
    template <typename Function> Function Get(Export which) const {
        return reinterpret_cast<Function>(addresses_[static_cast<size_t>(which)]);
    }
    bool Has(Export which) const { return addresses_[static_cast<size_t>(which)] != nullptr; }

  private:
    void* addresses_[kExportCount] = {};
};

// What each build does to load a library and find a symbol in it; null on failure.
void* OpenLibrary(const char* path);
void* FindExport(void* library, const char* name);
