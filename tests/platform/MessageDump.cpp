// Prints the text FormatMessageA gives for every message of the message table of each file named,
// loaded as a data file, as the event log agent reads them: the layer over a prefix against Wine
// on the same prefix. With --system, the system's own text (FORMAT_MESSAGE_FROM_SYSTEM) of every id
// that the file's table holds (the system DLL's own, to ask every message the system has), of
// HRESULTs and ids that no table holds, and of a few in each of the languages a request can name.
//
// usage: message_dump <DOS path>...
//        message_dump --system <DOS path>
//
// The ids come from the file's own table: under Windows through FindResourceA and LockResource,
// over the layer (which has no such functions) through its PE resource reader. Either way the
// tool walks the table itself, so a layer that finds other ids than Windows shows in the diff.
#include "Platform/Win32.h"

#ifndef _WIN32
#include "Platform/Posix/common/PeResources.h"
#include "Platform/Posix/kernel32/DataFileModules.h"
#endif

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kAgentFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kSystemFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
// HRESULTs of Win32 errors, one of no error the system knows, and ids with the customer bit or
// all bits set, which no system table holds.
constexpr DWORD kProbeIds[] = {0x80070002, 0x80070005, 0x8007FFFF, 0x20000001, 0xFFFFFFFF};
// Neutral with each sublanguage a request may use, US English, and languages that the system's
// table may hold only with the neutral sublanguage or not at all; among the ids, 63
// (ERROR_PRINT_CANCELLED) is spelt one way in US English and another in British English.
constexpr WORD kProbeLanguages[] = {0x0000, 0x0400, 0x0800, 0x0409, 0x0809, 0x0C09,
                                    0x0407, 0x040C, 0x0413, 0x0816, 0x0425, 0x0C0C};
constexpr DWORD kLanguageProbeIds[] = {2, 5, 63, 193, 0x2000FFFF};

// Printable ASCII as it is, every other byte as \xHH, so both runs print the same bytes.
std::string Escaped(const char* text) {
    std::string out;
    for (const char* at = text; *at != '\0'; ++at) {
        unsigned char byte = static_cast<unsigned char>(*at);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out.push_back(static_cast<char>(byte));
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

DWORD Le32(const std::vector<BYTE>& bytes, size_t at) {
    return static_cast<DWORD>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                              (static_cast<DWORD>(bytes[at + 3]) << 24));
}

// The ids of the table's blocks, stopping at anything that lies outside it.
std::vector<DWORD> TableIds(const std::vector<BYTE>& table) {
    std::vector<DWORD> ids;
    if (table.size() < 4) {
        return ids;
    }
    DWORD blocks = Le32(table, 0);
    for (DWORD block = 0; block < blocks && 4 + (block + 1) * 12 <= table.size(); ++block) {
        DWORD low = Le32(table, 4 + block * 12);
        DWORD high = Le32(table, 8 + block * 12);
        for (DWORD id = low; id >= low && id <= high && ids.size() < 1000000; ++id) {
            ids.push_back(id);
        }
    }
    return ids;
}

#ifdef _WIN32
std::vector<BYTE> MessageTableOf(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(11));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const BYTE* bytes =
        loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        return {};
    }
    return std::vector<BYTE>(bytes, bytes + SizeofResource(module, found));
}
#else
std::vector<BYTE> MessageTableOf(HMODULE module) {
    std::vector<BYTE> table;
    DataFileModule* loaded = DataFileModuleAcquire(module);
    if (loaded == nullptr) {
        return table;
    }
    WORD languages[8];
    DWORD count = 0;
    PeResourceData data;
    if (loaded->resourcesError == ERROR_SUCCESS &&
        PeResourceLanguages(&loaded->resources, PeId(11), PeId(1), languages, 8, &count) ==
            ERROR_SUCCESS &&
        count > 0 &&
        PeFindResource(&loaded->resources, PeId(11), PeId(1), languages[0], &data) ==
            ERROR_SUCCESS) {
        table.resize(data.size);
        table.resize(PeReadResource(&loaded->resources, &data, table.data(), data.size));
    }
    DataFileModuleRelease(loaded);
    return table;
}
#endif

// One line: the id (and language), then the text FormatMessageA gives with its length, or its
// error.
void PrintMessage(DWORD flags, HMODULE module, DWORD id, WORD language, bool showLanguage) {
    char* text = nullptr;
    SetLastError(0);
    DWORD length =
        FormatMessageA(flags, module, id, language, reinterpret_cast<LPSTR>(&text), 0, NULL);
    char name[32];
    if (showLanguage) {
        snprintf(name, sizeof name, "%08X/%04X", static_cast<unsigned>(id), language);
    } else {
        snprintf(name, sizeof name, "%08X", static_cast<unsigned>(id));
    }
    if (length == 0) {
        printf("  %s: error %u\n", name, static_cast<unsigned>(GetLastError()));
        return;
    }
    printf("  %s [%u]: %s\n", name, static_cast<unsigned>(length), Escaped(text).c_str());
    LocalFree(text);
}

// The file loaded as data, with the ids of its table; null, the failure printed, when it does not
// load.
HMODULE LoadWithIds(const char* path, std::vector<DWORD>* ids) {
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        printf("  load: error %u\n", static_cast<unsigned>(GetLastError()));
        return nullptr;
    }
    *ids = TableIds(MessageTableOf(module));
    printf("  ids: %zu\n", ids->size());
    return module;
}

void DumpSystem(const char* path) {
    printf("system, ids of %s\n", path);
    std::vector<DWORD> ids;
    HMODULE module = LoadWithIds(path, &ids);
    if (module == nullptr) {
        return;
    }
    FreeLibrary(module);
    for (DWORD id : ids) {
        PrintMessage(kSystemFlags, nullptr, id, 0, false);
    }
    for (DWORD id : kProbeIds) {
        PrintMessage(kSystemFlags, nullptr, id, 0, false);
    }
    for (WORD language : kProbeLanguages) {
        for (DWORD id : kLanguageProbeIds) {
            PrintMessage(kSystemFlags, nullptr, id, language, true);
        }
    }
}

void DumpFile(const char* path) {
    printf("%s\n", path);
    std::vector<DWORD> ids;
    HMODULE module = LoadWithIds(path, &ids);
    if (module == nullptr) {
        return;
    }
    for (DWORD id : ids) {
        PrintMessage(kAgentFlags, module, id, 0, false);
    }
    FreeLibrary(module);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--system") == 0) {
        DumpSystem(argv[2]);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        DumpFile(argv[i]);
    }
    return 0;
}
