// The one HMODULE scheme. NULL is the host executable; an address inside a loaded shared object
// names that object (the load hook passes its load address). A module loaded as a data file is a
// handle of the handle table with its low bits tagged as Windows tags such modules (1 for a data
// file, 2 for an image resource): a handle is a multiple of 4, so the tag never hides part of it.
//
// A data-file module keeps its file open and its resource directory read, which is all that a
// resource lookup (FormatMessageA(FROM_HMODULE) over a message table, FindResource) needs.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/common/PeResources.h"

struct DataFileModule {
    HandleObject header;
    int descriptor;
    // ERROR_SUCCESS, or ERROR_RESOURCE_DATA_NOT_FOUND for a PE file without resources, which
    // loads all the same.
    DWORD resourcesError;
    PeResources resources;
};

// Whether module is a data-file module that is open. A value with a tag bit set may also be an
// address inside a loaded object (functions need not be aligned), which names that object.
bool IsDataFileModule(HMODULE module);

// The data-file module behind module, with a reference taken that DataFileModuleRelease gives
// back; null with the last error set otherwise (ERROR_BAD_EXE_FORMAT, as Windows reports a
// module whose headers it cannot read).
DataFileModule* DataFileModuleAcquire(HMODULE module);
void DataFileModuleRelease(DataFileModule* module);

// Opens the file at path (a DOS path) as a data-file module, tagged as an image resource or as a
// data file; null with the last error set.
HMODULE DataFileModuleLoad(const char* path, bool asImageResource);

// Closes a module DataFileModuleLoad gave: FALSE with ERROR_MOD_NOT_FOUND for a module it never
// gave, and ERROR_BAD_EXE_FORMAT for one already closed.
BOOL DataFileModuleFree(HMODULE module);
