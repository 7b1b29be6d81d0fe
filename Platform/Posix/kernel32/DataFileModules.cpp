#include "Platform/Posix/kernel32/DataFileModules.h"

#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr ULONG_PTR kDataFileTag = 1;
constexpr ULONG_PTR kImageResourceTag = 2;
constexpr ULONG_PTR kTagBits = kDataFileTag | kImageResourceTag;

void DestroyDataFileModule(HandleObject* object) {
    DataFileModule* module = reinterpret_cast<DataFileModule*>(object);
    PeResourcesRelease(&module->resources);
    close(module->descriptor);
    free(module);
}

bool IsTagged(HMODULE module) {
    return (reinterpret_cast<ULONG_PTR>(module) & kTagBits) != 0;
}

HANDLE UntaggedHandle(HMODULE module) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(module) & ~kTagBits);
}

// Reads the headers of an open file; takes over the descriptor, which it closes on failure.
// An empty file is refused as Windows refuses to map it.
DWORD OpenDataFileModule(int descriptor, ULONGLONG size, DataFileModule** result) {
    DataFileModule* module = static_cast<DataFileModule*>(LayerCalloc(1, sizeof(DataFileModule)));
    DWORD error = module == nullptr ? ERROR_NOT_ENOUGH_MEMORY
                  : size == 0       ? ERROR_FILE_INVALID
                                    : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) {
        PeSource source = PeSourceOfDescriptor(descriptor, size);
        error = PeResourcesOpen(&source, &module->resources);
    }
    if (error != ERROR_SUCCESS && error != ERROR_RESOURCE_DATA_NOT_FOUND) {
        free(module);
        close(descriptor);
        return error;
    }
    HandleObjectInit(&module->header, HandleKind::Module, DestroyDataFileModule);
    module->descriptor = descriptor;
    module->resourcesError = error;
    *result = module;
    return ERROR_SUCCESS;
}

// Windows looks a missing file up along its search path first, and that search reports a file
// that is not there, whichever folder on the way is missing.
DWORD OpenFailure(DWORD error) {
    return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
}

} // namespace

bool IsDataFileModule(HMODULE module) {
    return IsTagged(module) && HandleIsOpen(UntaggedHandle(module), HandleKind::Module);
}

DataFileModule* DataFileModuleAcquire(HMODULE module) {
    DataFileModule* found = nullptr;
    if (IsTagged(module)) {
        found = HandleAcquireAs<DataFileModule>(UntaggedHandle(module), HandleKind::Module);
    }
    if (found == nullptr) {
        FailWith(ERROR_BAD_EXE_FORMAT);
    }
    return found;
}

void DataFileModuleRelease(DataFileModule* module) {
    HandleObjectRelease(&module->header);
}

HMODULE DataFileModuleLoad(const char* path, bool asImageResource) {
    int descriptor = -1;
    ULONGLONG size = 0;
    DWORD error = PeOpenFile(path, &descriptor, &size);
    DataFileModule* module = nullptr;
    if (error != ERROR_SUCCESS) {
        error = OpenFailure(error);
    } else {
        error = OpenDataFileModule(descriptor, size, &module);
    }
    if (error != ERROR_SUCCESS) {
        FailWith(error);
        return nullptr;
    }
    HANDLE handle = HandleInsert(&module->header);
    if (handle == nullptr) {
        return nullptr;
    }
    ULONG_PTR tag = asImageResource ? kImageResourceTag : kDataFileTag;
    return reinterpret_cast<HMODULE>(reinterpret_cast<ULONG_PTR>(handle) | tag);
}

BOOL DataFileModuleFree(HMODULE module) {
    // The layer loads no code, so any other module is one it never loaded.
    if (!IsTagged(module)) {
        return FailWith(ERROR_MOD_NOT_FOUND);
    }
    if (!HandleClose(UntaggedHandle(module), HandleKind::Module)) {
        return FailWith(ERROR_BAD_EXE_FORMAT);
    }
    return TRUE;
}
