#include "Platform/Posix/kernel32/Modules.h"

#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/MachineImage.h"
#include "Platform/Posix/kernel32/DataFileModules.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

constexpr DWORD kDataFileFlags =
    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
constexpr DWORD kKnownFlags = kDataFileFlags | DONT_RESOLVE_DLL_REFERENCES;

// The executable's own file; argv[0] may be relative or a link, /proc/self/exe never is.
bool HostExecutablePath(char* out, size_t outSize) {
    char link[PATH_MAX];
    if (!ProcPath("self/exe", link, sizeof(link))) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    ssize_t length = readlink(link, out, outSize - 1);
    if (length <= 0 || static_cast<size_t>(length) >= outSize - 1) {
        return FailWith(length < 0 ? Win32ErrorFromErrno(errno) : ERROR_FILENAME_EXCED_RANGE);
    }
    out[length] = '\0';
    return true;
}

// The real path of the shared object holding address. The dynamic linker names the host
// executable with an empty string, and a library by the path it was loaded under, which may be
// relative or a link.
bool SharedObjectPath(const void* address, char* out, size_t outSize) {
    Dl_info info;
    struct link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr) {
        return FailWith(ERROR_MOD_NOT_FOUND);
    }
    if (map->l_name == nullptr || map->l_name[0] == '\0') {
        return HostExecutablePath(out, outSize);
    }
    char resolved[PATH_MAX];
    // The vDSO and objects deleted since they were loaded have no file to name.
    if (realpath(map->l_name, resolved) == nullptr) {
        return FailWith(ERROR_MOD_NOT_FOUND);
    }
    size_t length = strlen(resolved);
    if (length >= outSize) {
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    }
    memcpy(out, resolved, length + 1);
    return true;
}

// Windows' rule for a short buffer: as much of the name as fits, still terminated, nSize as the
// result and ERROR_INSUFFICIENT_BUFFER.
DWORD CopyModuleName(const char* name, LPSTR buffer, DWORD size) {
    size_t length = strlen(name);
    if (length < size) {
        memcpy(buffer, name, length + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(length);
    }
    if (size > 0) {
        memcpy(buffer, name, size - 1);
        buffer[size - 1] = '\0';
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

} // namespace

extern "C" {

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (!FaultAllows(LayerCall::GetModuleFileNameA)) {
        return 0;
    }
    if (BufferMissing(lpFilename, nSize)) {
        return 0;
    }
    // A data file is mapped, not loaded: the loader knows no name for it.
    if (IsDataFileModule(hModule)) {
        FailWith(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    char unixPath[kPathCapacity];
    bool found = hModule == nullptr ? HostExecutablePath(unixPath, sizeof(unixPath))
                                    : SharedObjectPath(hModule, unixPath, sizeof(unixPath));
    char dosPath[kPathCapacity];
    if (!found || !UnixPathToDos(unixPath, dosPath, sizeof(dosPath))) {
        return 0;
    }
    return CopyModuleName(dosPath, lpFilename, nSize);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    if (!FaultAllows(LayerCall::LoadLibraryExA)) {
        return nullptr;
    }
    if (lpLibFileName == nullptr || lpLibFileName[0] == '\0' || hFile != nullptr ||
        (dwFlags & ~kKnownFlags) != 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((dwFlags & kDataFileFlags) == 0) {
        FailWith(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return DataFileModuleLoad(lpLibFileName, (dwFlags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) != 0);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    if (hLibModule == nullptr) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    return DataFileModuleFree(hLibModule);
}

} // extern "C"
