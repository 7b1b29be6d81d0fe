// Prints the text FormatMessageA gives for every message of the message table of each file named,
// loaded as a data file, as the event log agent reads them: the layer over a prefix against Wine
// on the same prefix.
//
// usage: message_dump <DOS path>...
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

void DumpFile(const char* path) {
    printf("%s\n", path);
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        printf("  load: error %u\n", static_cast<unsigned>(GetLastError()));
        return;
    }
    std::vector<DWORD> ids = TableIds(MessageTableOf(module));
    printf("  ids: %zu\n", ids.size());
    for (DWORD id : ids) {
        char* text = nullptr;
        SetLastError(0);
        DWORD length =
            FormatMessageA(kAgentFlags, module, id, 0, reinterpret_cast<LPSTR>(&text), 0, NULL);
        if (length == 0) {
            printf("  %08X: error %u\n", static_cast<unsigned>(id),
                   static_cast<unsigned>(GetLastError()));
            continue;
        }
        printf("  %08X [%u]: %s\n", static_cast<unsigned>(id), static_cast<unsigned>(length),
               Escaped(text).c_str());
        LocalFree(text);
    }
    FreeLibrary(module);
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        DumpFile(argv[i]);
    }
    return 0;
}
