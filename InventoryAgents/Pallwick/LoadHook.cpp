// The library's load notification: the diagnostic log is placed, opened and configured here, once,
// before any export can run. Nothing else is set up at load, and nothing is done at unload.
#include "Common/DiagnosticLogStartup.h"

#ifdef _WIN32

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        StartDiagnosticLog(module);
    }
    return TRUE;
}

#else

#include <dlfcn.h>

namespace {

// Runs before the C++ static initialisers of the library, so the start-up touches only plain,
// constant-initialised state. The module handle is the load address, as Windows gives it.
__attribute__((constructor)) void OnLibraryLoad() {
    Dl_info self{};
    void* address = reinterpret_cast<void*>(&OnLibraryLoad);
    HMODULE module = dladdr(address, &self) != 0 ? static_cast<HMODULE>(self.dli_fbase)
                                                 : static_cast<HMODULE>(address);
    StartDiagnosticLog(module);
}

} // namespace

#endif
