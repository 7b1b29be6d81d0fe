// How agent code holds what it must release: the shared holder (Platform/ScopedResource.h) with a
// releaser for each kind of resource the agents take.
#pragma once

#include "Common/Allocation.h"
#include "Platform/ScopedResource.h"
#include "Platform/Win32.h"

struct RegKeyReleaser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct ServiceHandleReleaser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
struct FileHandleReleaser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct MallocReleaser {
    void operator()(void* block) const { LibraryFree(block); }
};
struct EventLogHandleReleaser {
    void operator()(HANDLE handle) const { CloseEventLog(handle); }
};
struct ModuleReleaser {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct LocalMemoryReleaser {
    void operator()(HLOCAL block) const { LocalFree(block); }
};
struct PdhQueryReleaser {
    void operator()(PDH_HQUERY query) const { PdhCloseQuery(query); }
};

// A key opened by the holder's owner. Opening a null subkey path under a predefined root hands
// back the root itself, which then lands here too: closing a predefined key succeeds and does
// nothing, so the holder need not tell the two apart.
using ScopedRegKey = ScopedResource<HKEY, RegKeyReleaser>;
using ScopedServiceHandle = ScopedResource<SC_HANDLE, ServiceHandleReleaser>;
// A file from CreateFileA: construct it from FileHandleOrNull(CreateFileA(...)), since the holder
// knows only null as empty.
using ScopedFileHandle = ScopedResource<HANDLE, FileHandleReleaser>;
// A block from LibraryMalloc, LibraryCalloc, LibraryRealloc or LibraryStrdup.
using ScopedMalloc = ScopedResource<void*, MallocReleaser>;
// An event log from OpenEventLogA (null on failure).
using ScopedEventLogHandle = ScopedResource<HANDLE, EventLogHandleReleaser>;
// A module from LoadLibraryExA, such as a message file loaded as data.
using ScopedModule = ScopedResource<HMODULE, ModuleReleaser>;
// A block the system allocated for the caller to LocalFree, such as FormatMessageA's text.
using ScopedLocalMemory = ScopedResource<HLOCAL, LocalMemoryReleaser>;
// A query from PdhOpenQueryA; closing it removes its counters too.
using ScopedPdhQuery = ScopedResource<PDH_HQUERY, PdhQueryReleaser>;

inline HANDLE FileHandleOrNull(HANDLE handle) {
    return handle != INVALID_HANDLE_VALUE ? handle : nullptr;
}
