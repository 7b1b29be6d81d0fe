#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/common/PosixCalls.h"

#include "Platform/Posix/common/DosPaths.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/MessageTables.h"
#include "Platform/Posix/common/Utf16Text.h"
#include "Platform/Posix/common/LayerMemory.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <string.h>
#include <unistd.h>

namespace {

constexpr WORD kDosMagic = 0x5A4D;       // "MZ"
constexpr DWORD kPeMagic = 0x00004550;   // "PE\0\0"
constexpr WORD kOptionalMagic32 = 0x10B; // PE32
constexpr WORD kOptionalMagic64 = 0x20B; // PE32+
constexpr DWORD kDosNewHeaderField = 0x3C;
constexpr DWORD kFileHeaderSize = 20;
constexpr DWORD kSectionHeaderSize = 40;
constexpr DWORD kResourceDirectoryIndex = 2;
constexpr DWORD kDirectoryHeaderSize = 16;
constexpr DWORD kDirectoryEntrySize = 8;
constexpr DWORD kDataEntrySize = 16;
constexpr DWORD kHighBit = 0x80000000u;

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// The errno of this thread's last read that failed, rather than ended early; 0: none.
thread_local int t_readError = 0;

bool ReadDescriptor(const PeSource* source, ULONGLONG offset, BYTE* out, size_t length) {
    while (length > 0) {
        off_t at = static_cast<off_t>(offset);
        ssize_t got = source->raw ? pread(source->descriptor, out, length, at)
                                  : PosixPread(source->descriptor, out, length, at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            t_readError = errno;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<ULONGLONG>(got);
        length -= static_cast<size_t>(got);
    }
    return true;
}

// The optional header's position of the data directory array and of its entry count.
struct OptionalLayout {
    DWORD countField;
    DWORD directories;
};

bool LayoutOf(WORD magic, OptionalLayout* layout) {
    if (magic == kOptionalMagic32) {
        *layout = OptionalLayout{92, 96};
        return true;
    }
    if (magic == kOptionalMagic64) {
        *layout = OptionalLayout{108, 112};
        return true;
    }
    return false;
}

struct Headers {
    ULONGLONG sectionTable;
    WORD sectionCount;
    DWORD resourceRva;
    DWORD resourceSize;
};

// The DOS stub's pointer to the PE headers, checked for both signatures.
DWORD ReadPeHeaderOffset(const PeSource* source, DWORD* offset) {
    BYTE dos[64];
    if (!PeSourceRead(source, 0, dos, sizeof dos) || Le16(dos) != kDosMagic) {
        return ERROR_BAD_EXE_FORMAT;
    }
    *offset = Le32(dos + kDosNewHeaderField);
    BYTE signature[4];
    if (!PeSourceRead(source, *offset, signature, sizeof signature) ||
        Le32(signature) != kPeMagic) {
        return ERROR_BAD_EXE_FORMAT;
    }
    return ERROR_SUCCESS;
}

// The resource entry of the data directory; an optional header too short to hold it, or an
// entry count that leaves it out, means no resources, as the loader treats it.
DWORD ReadResourceDirectoryEntry(const PeSource* source, ULONGLONG optional, WORD optionalSize,
                                 Headers* headers) {
    BYTE magic[2];
    OptionalLayout layout;
    if (!PeSourceRead(source, optional, magic, sizeof magic) || !LayoutOf(Le16(magic), &layout)) {
        return ERROR_BAD_EXE_FORMAT;
    }
    DWORD entryOffset = layout.directories + kResourceDirectoryIndex * 8;
    if (optionalSize < entryOffset + 8) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    BYTE count[4];
    BYTE entry[8];
    if (!PeSourceRead(source, optional + layout.countField, count, sizeof count) ||
        !PeSourceRead(source, optional + entryOffset, entry, sizeof entry)) {
        return ERROR_BAD_EXE_FORMAT;
    }
    if (Le32(count) <= kResourceDirectoryIndex || Le32(entry + 4) == 0) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    headers->resourceRva = Le32(entry);
    headers->resourceSize = Le32(entry + 4);
    return ERROR_SUCCESS;
}

DWORD ReadHeaders(const PeSource* source, Headers* headers) {
    DWORD peOffset = 0;
    DWORD error = ReadPeHeaderOffset(source, &peOffset);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    BYTE fileHeader[kFileHeaderSize];
    ULONGLONG fileHeaderOffset = static_cast<ULONGLONG>(peOffset) + 4;
    if (!PeSourceRead(source, fileHeaderOffset, fileHeader, sizeof fileHeader)) {
        return ERROR_BAD_EXE_FORMAT;
    }
    headers->sectionCount = Le16(fileHeader + 2);
    WORD optionalSize = Le16(fileHeader + 16);
    ULONGLONG optional = fileHeaderOffset + kFileHeaderSize;
    headers->sectionTable = optional + optionalSize;
    return ReadResourceDirectoryEntry(source, optional, optionalSize, headers);
}

DWORD ReadSections(const PeSource* source, const Headers& headers, PeSection** sections) {
    ULONGLONG tableSize = static_cast<ULONGLONG>(headers.sectionCount) * kSectionHeaderSize;
    if (headers.sectionCount == 0 || headers.sectionTable + tableSize > source->size) {
        return ERROR_BAD_EXE_FORMAT;
    }
    PeSection* table =
        static_cast<PeSection*>(LayerCalloc(headers.sectionCount, sizeof(PeSection)));
    if (table == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (WORD i = 0; i < headers.sectionCount; ++i) {
        BYTE raw[kSectionHeaderSize];
        if (!PeSourceRead(source, headers.sectionTable + i * kSectionHeaderSize, raw, sizeof raw)) {
            free(table);
            return ERROR_BAD_EXE_FORMAT;
        }
        table[i] = PeSection{Le32(raw + 12), Le32(raw + 8), Le32(raw + 16), Le32(raw + 20)};
    }
    *sections = table;
    return ERROR_SUCCESS;
}

// The section whose bytes in the file hold this RVA, as the version functions find it: by the
// section's raw size, since only what the file holds can be read.
const PeSection* SectionOf(const PeResources* resources, DWORD rva) {
    for (WORD i = 0; i < resources->sectionCount; ++i) {
        const PeSection& section = resources->sections[i];
        if (rva >= section.virtualAddress &&
            static_cast<ULONGLONG>(rva) <
                static_cast<ULONGLONG>(section.virtualAddress) + section.rawSize) {
            return &section;
        }
    }
    return nullptr;
}

DWORD LocateDirectory(PeResources* resources, DWORD rva) {
    const PeSection* section = SectionOf(resources, rva);
    if (section == nullptr) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    DWORD into = rva - section->virtualAddress;
    ULONGLONG offset = static_cast<ULONGLONG>(section->rawOffset) + into;
    ULONGLONG fileSize = resources->source.size;
    if (offset >= fileSize) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    ULONGLONG size = section->rawSize - into;
    if (size > fileSize - offset) {
        size = fileSize - offset;
    }
    resources->directoryRva = rva;
    resources->directoryOffset = offset;
    resources->directorySize = static_cast<DWORD>(size);
    return ERROR_SUCCESS;
}

// One directory of the tree: its entries lie at `entries`, all of them inside the resource
// directory's bytes.
struct Directory {
    DWORD entries;
    DWORD namedCount;
    DWORD idCount;
};

struct Entry {
    DWORD name;
    DWORD target;
};

bool ReadAt(const PeResources* resources, DWORD offset, BYTE* out, DWORD length) {
    if (offset > resources->directorySize || length > resources->directorySize - offset) {
        return false;
    }
    return PeSourceRead(&resources->source, resources->directoryOffset + offset, out, length);
}

bool ReadDirectory(const PeResources* resources, DWORD offset, Directory* directory) {
    BYTE header[kDirectoryHeaderSize];
    if (!ReadAt(resources, offset, header, sizeof header)) {
        return false;
    }
    directory->entries = offset + kDirectoryHeaderSize;
    directory->namedCount = Le16(header + 12);
    directory->idCount = Le16(header + 14);
    // A count that claims more entries than the bytes after the header hold is refused whole.
    ULONGLONG needed =
        static_cast<ULONGLONG>(directory->namedCount + directory->idCount) * kDirectoryEntrySize;
    return needed <= resources->directorySize - directory->entries;
}

bool ReadEntry(const PeResources* resources, const Directory& directory, DWORD index,
               Entry* entry) {
    BYTE raw[kDirectoryEntrySize];
    if (!ReadAt(resources, directory.entries + index * kDirectoryEntrySize, raw, sizeof raw)) {
        return false;
    }
    entry->name = Le32(raw);
    entry->target = Le32(raw + 4);
    return true;
}

// Whether a named entry's string equals text, ignoring case.
bool NameMatches(const PeResources* resources, DWORD nameOffset, const char* text) {
    BYTE lengthField[2];
    if (!ReadAt(resources, nameOffset, lengthField, sizeof lengthField)) {
        return false;
    }
    DWORD length = Le16(lengthField);
    if (strlen(text) != length) {
        return false;
    }
    for (DWORD i = 0; i < length; ++i) {
        BYTE unit[2];
        if (!ReadAt(resources, nameOffset + 2 + i * 2, unit, sizeof unit)) {
            return false;
        }
        char16_t expected = AnsiByteToUnit(static_cast<unsigned char>(text[i]));
        if (UpcaseUnit(static_cast<char16_t>(Le16(unit))) != UpcaseUnit(expected)) {
            return false;
        }
    }
    return true;
}

bool EntryMatches(const PeResources* resources, const Entry& entry, PeName name) {
    bool named = (entry.name & kHighBit) != 0;
    if (name.text == nullptr) {
        return !named && (entry.name & 0xFFFF) == name.id;
    }
    return named && NameMatches(resources, entry.name & ~kHighBit, name.text);
}

// The subdirectory that name leads to from directory.
DWORD FindSubdirectory(const PeResources* resources, const Directory& directory, PeName name,
                       DWORD notFound, Directory* found) {
    DWORD first = name.text == nullptr ? directory.namedCount : 0;
    DWORD end =
        name.text == nullptr ? directory.namedCount + directory.idCount : directory.namedCount;
    for (DWORD i = first; i < end; ++i) {
        Entry entry;
        if (!ReadEntry(resources, directory, i, &entry)) {
            return notFound;
        }
        if (EntryMatches(resources, entry, name)) {
            // A leaf where a directory belongs, or a directory that cannot be read, ends the
            // walk: the tree has exactly three levels, so no entry can lead it round in a loop.
            bool isDirectory = (entry.target & kHighBit) != 0;
            if (!isDirectory || !ReadDirectory(resources, entry.target & ~kHighBit, found)) {
                return notFound;
            }
            return ERROR_SUCCESS;
        }
    }
    return notFound;
}

DWORD FindLanguages(const PeResources* resources, PeName type, PeName name, Directory* languages) {
    Directory root;
    if (!ReadDirectory(resources, 0, &root)) {
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    Directory names;
    DWORD error = FindSubdirectory(resources, root, type, ERROR_RESOURCE_TYPE_NOT_FOUND, &names);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return FindSubdirectory(resources, names, name, ERROR_RESOURCE_NAME_NOT_FOUND, languages);
}

// The data entry a language-level entry points at; a further directory is refused.
bool ReadLeaf(const PeResources* resources, const Entry& entry, PeResourceData* data) {
    if ((entry.target & kHighBit) != 0) {
        return false;
    }
    BYTE raw[kDataEntrySize];
    if (!ReadAt(resources, entry.target, raw, sizeof raw)) {
        return false;
    }
    data->rva = Le32(raw);
    data->size = Le32(raw + 4);
    const PeSection* section = SectionOf(resources, data->rva);
    if (section == nullptr) {
        return false;
    }
    DWORD into = data->rva - section->virtualAddress;
    if (data->size > section->rawSize - into) {
        return false;
    }
    data->offset = static_cast<ULONGLONG>(section->rawOffset) + into;
    return data->offset <= resources->source.size &&
           data->size <= resources->source.size - data->offset;
}

} // namespace

DWORD PeOpenFile(const char* dosPath, int* descriptor, ULONGLONG* size) {
    char unixPath[kPathCapacity];
    if (!DosPathToUnix(dosPath, unixPath, sizeof unixPath)) {
        return GetLastError();
    }
    *descriptor = PosixOpen(unixPath, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (*descriptor < 0) {
        return Win32ErrorFromPathErrno(errno, unixPath);
    }
    struct stat info;
    if (PosixFstat(*descriptor, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(*descriptor);
        return ERROR_ACCESS_DENIED;
    }
    *size = static_cast<ULONGLONG>(info.st_size);
    return ERROR_SUCCESS;
}

PeSource PeSourceOfDescriptor(int descriptor, ULONGLONG size) {
    return PeSource{descriptor, nullptr, size, false};
}

PeSource PeSourceOfImageFile(int descriptor, ULONGLONG size) {
    return PeSource{descriptor, nullptr, size, true};
}

PeSource PeSourceOfMemory(const void* memory, size_t size) {
    return PeSource{-1, static_cast<const BYTE*>(memory), size, false};
}

bool PeSourceRead(const PeSource* source, ULONGLONG offset, void* out, size_t length) {
    if (offset > source->size || length > source->size - offset) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (source->descriptor < 0) {
        memcpy(out, source->memory + offset, length);
        return true;
    }
    return ReadDescriptor(source, offset, static_cast<BYTE*>(out), length);
}

DWORD PeResourcesOpen(const PeSource* source, PeResources* resources) {
    memset(resources, 0, sizeof *resources);
    resources->source = *source;
    Headers headers;
    DWORD error = ReadHeaders(source, &headers);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    error = ReadSections(source, headers, &resources->sections);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    resources->sectionCount = headers.sectionCount;
    error = LocateDirectory(resources, headers.resourceRva);
    if (error != ERROR_SUCCESS) {
        PeResourcesRelease(resources);
    }
    return error;
}

void PeResourcesRelease(PeResources* resources) {
    free(resources->sections);
    resources->sections = nullptr;
    resources->sectionCount = 0;
}

namespace {

// Visits the languages (id entries) of a resource in the order the file keeps them, until visit
// returns true; the error of finding them, else ERROR_SUCCESS.
template <typename Visit>
DWORD VisitLanguages(const PeResources* resources, PeName type, PeName name, Visit visit) {
    Directory languages;
    DWORD error = FindLanguages(resources, type, name, &languages);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    for (DWORD i = languages.namedCount; i < languages.namedCount + languages.idCount; ++i) {
        Entry entry;
        if (!ReadEntry(resources, languages, i, &entry)) {
            break;
        }
        if ((entry.name & kHighBit) == 0 && visit(entry)) {
            break;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

DWORD PeFindResource(const PeResources* resources, PeName type, PeName name, WORD language,
                     PeResourceData* data) {
    DWORD result = ERROR_RESOURCE_LANG_NOT_FOUND;
    DWORD error = VisitLanguages(resources, type, name, [&](const Entry& entry) {
        if ((entry.name & 0xFFFF) != language) {
            return false;
        }
        result = ReadLeaf(resources, entry, data) ? ERROR_SUCCESS : ERROR_RESOURCE_DATA_NOT_FOUND;
        return true;
    });
    return error != ERROR_SUCCESS ? error : result;
}

DWORD PeResourceLanguages(const PeResources* resources, PeName type, PeName name, WORD* languages,
                          DWORD capacity, DWORD* count) {
    *count = 0;
    // Only languages whose data can be read are offered, so that a choice among them holds.
    DWORD error = VisitLanguages(resources, type, name, [&](const Entry& entry) {
        PeResourceData data;
        if (ReadLeaf(resources, entry, &data)) {
            if (*count < capacity) {
                languages[*count] = static_cast<WORD>(entry.name & 0xFFFF);
            }
            ++*count;
        }
        return false;
    });
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return *count == 0 ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_SUCCESS;
}

int PeTakeReadError() {
    int error = t_readError;
    t_readError = 0;
    return error;
}

DWORD PeReadResource(const PeResources* resources, const PeResourceData* data, void* out,
                     DWORD length) {
    DWORD wanted = length < data->size ? length : data->size;
    return PeSourceRead(&resources->source, data->offset, out, wanted) ? wanted : 0;
}

namespace {

constexpr DWORD kStringsPerBlock = 16;
// More languages than Windows has locales.
constexpr DWORD kMostStringLanguages = 256;

// The block that holds the string, in the language a neutral request gets.
DWORD FindStringBlock(const PeResources* resources, WORD block, PeResourceData* data) {
    WORD languages[kMostStringLanguages];
    DWORD count = 0;
    DWORD error = PeResourceLanguages(resources, PeId(RT_STRING), PeId(block), languages,
                                      kMostStringLanguages, &count);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    WORD chosen = 0;
    DWORD offered = count < kMostStringLanguages ? count : kMostStringLanguages;
    if (!MessageTableLanguage(languages, offered, 0, &chosen)) {
        return ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    return PeFindResource(resources, PeId(RT_STRING), PeId(block), chosen, data);
}

} // namespace

DWORD PeFindString(const PeResources* resources, WORD id, PeStringData* data) {
    PeResourceData block;
    WORD blockId = static_cast<WORD>(id / kStringsPerBlock + 1);
    DWORD error = FindStringBlock(resources, blockId, &block);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    // Entries are walked by their counts; none may reach past the block, which its leaf has
    // already held to the file.
    ULONGLONG position = 0;
    for (DWORD entry = 0;; ++entry) {
        BYTE count[2];
        if (block.size - position < sizeof count ||
            !PeSourceRead(&resources->source, block.offset + position, count, sizeof count)) {
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        DWORD length = Le16(count);
        position += sizeof count;
        if (static_cast<ULONGLONG>(length) * 2 > block.size - position) {
            return ERROR_RESOURCE_DATA_NOT_FOUND;
        }
        if (entry == id % kStringsPerBlock) {
            *data = PeStringData{block.offset + position, length};
            return length > 0 ? ERROR_SUCCESS : ERROR_RESOURCE_NAME_NOT_FOUND;
        }
        position += static_cast<ULONGLONG>(length) * 2;
    }
}

char* PeReadAnsiString(const PeResources* resources, const PeStringData* data) {
    size_t bytes = static_cast<size_t>(data->length) * 2;
    BYTE* raw = static_cast<BYTE*>(LayerMalloc(bytes + 1));
    char* text = static_cast<char*>(LayerMalloc(static_cast<size_t>(data->length) + 1));
    bool read = raw != nullptr && text != nullptr &&
                PeSourceRead(&resources->source, data->offset, raw, bytes);
    if (read) {
        // One ANSI byte a unit: the code page is single-byte.
        for (DWORD i = 0; i < data->length; ++i) {
            text[i] = Utf16UnitToAnsi(static_cast<char16_t>(Le16(raw + 2 * i)));
        }
        text[data->length] = '\0';
    }
    free(raw);
    if (!read) {
        free(text);
        return nullptr;
    }
    return text;
}
