// The resources of a PE file (PE32 or PE32+), read as data and never executed: the resource
// directory found through the data directory and the section table, and a resource found by
// type, name and language. Files come from anywhere, so every offset, count and size in them is
// checked against the file before use: a truncated or hostile file is refused, never read past.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#define RT_STRING 6

// Where the bytes come from: an open file descriptor, or a buffer already in memory.
struct PeSource {
    int descriptor; // -1 for a buffer
    const BYTE* memory;
    ULONGLONG size;
    // Read past the fault plan: a file of the machine image's own (PosixCalls.h).
    bool raw;
};

PeSource PeSourceOfDescriptor(int descriptor, ULONGLONG size);
// The same for one of the machine image's own files, which the fault plan does not fail.
PeSource PeSourceOfImageFile(int descriptor, ULONGLONG size);

// Opens a file named by a DOS path for reading as data: ERROR_SUCCESS with its descriptor (the
// caller closes it) and size, or the Win32 code of the failure (ERROR_ACCESS_DENIED for a
// folder, which Windows opens as no file).
DWORD PeOpenFile(const char* dosPath, int* descriptor, ULONGLONG* size);
PeSource PeSourceOfMemory(const void* memory, size_t size);

// Reads exactly length bytes at offset; false if any of them lies past the end.
bool PeSourceRead(const PeSource* source, ULONGLONG offset, void* out, size_t length);

struct PeSection {
    DWORD virtualAddress;
    DWORD virtualSize;
    DWORD rawSize;
    DWORD rawOffset;
};

// An opened PE file: its section table and where its resource directory lies in the file.
struct PeResources {
    PeSource source;
    PeSection* sections; // malloc'd
    WORD sectionCount;
    DWORD directoryRva;
    ULONGLONG directoryOffset; // in the file
    DWORD directorySize;       // bytes of the file from the directory's start to its section's end
};

// Reads the headers and section table. ERROR_BAD_EXE_FORMAT for a file that is not a PE file
// (or whose headers lie past its end), ERROR_RESOURCE_DATA_NOT_FOUND for a PE file without a
// resource directory, ERROR_NOT_ENOUGH_MEMORY. On success the caller releases resources.
DWORD PeResourcesOpen(const PeSource* source, PeResources* resources);
void PeResourcesRelease(PeResources* resources);

// A type or name: an id (MAKEINTRESOURCE style) or a string compared as Windows does, ignoring
// case.
struct PeName {
    WORD id;
    const char* text; // nullptr for an id
};

inline PeName PeId(WORD id) {
    return PeName{id, nullptr};
}

// A resource's data, as its directory leaf gives it.
struct PeResourceData {
    DWORD rva;
    DWORD size;
    ULONGLONG offset; // in the file
};

// The resource of this type, name and exact language. ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND, or ERROR_RESOURCE_DATA_NOT_FOUND
// for a leaf whose data lies outside the file or overruns its section.
DWORD PeFindResource(const PeResources* resources, PeName type, PeName name, WORD language,
                     PeResourceData* data);

// The languages that one resource exists in, in the order of its directory (at most capacity
// of them are stored; *count gets how many there are). Same errors as PeFindResource.
DWORD PeResourceLanguages(const PeResources* resources, PeName type, PeName name, WORD* languages,
                          DWORD capacity, DWORD* count);

// The errno of this thread's last read of a PE file that failed, rather than found the file too
// short (0: none), cleared as it is taken. The lookups answer "not found" for both, and a caller
// that goes elsewhere for what a file lacks must not go there for a file it could not read.
int PeTakeReadError();

// Copies up to length bytes of the resource's data; returns how many were copied.
DWORD PeReadResource(const PeResources* resources, const PeResourceData* data, void* out,
                     DWORD length);

// Where one string of a string table lies in the file: length UTF-16 units from offset.
struct PeStringData {
    ULONGLONG offset;
    DWORD length;
};

// String id of the file's string tables: block id / 16 + 1 holds it as entry id % 16, each entry
// a 16-bit count of UTF-16 units and the units. The block's language is the one the resource
// loader picks for a neutral request (MessageTableLanguage). ERROR_RESOURCE_TYPE_NOT_FOUND for a
// file without string tables, ERROR_RESOURCE_NAME_NOT_FOUND when no block holds the id or its
// entry is empty (the loader finds no string either way), ERROR_RESOURCE_DATA_NOT_FOUND for a
// block whose entries run past its end or past the file.
DWORD PeFindString(const PeResources* resources, WORD id, PeStringData* data);

// The string as the A functions give it, in the ANSI code page and NUL-terminated, in a block the
// caller frees; null when memory runs out or the file cannot be read (PeTakeReadError tells).
char* PeReadAnsiString(const PeResources* resources, const PeStringData* data);
