// Prints what the version functions report for each file of a folder, in a form that two runs
// can be diffed by: the layer over a prefix against Wine on the same prefix.
//
// usage: version_dump <DOS folder>   with the file names on standard input, one a line
//
// The names come from outside so that the tool needs no folder enumeration, only the three
// version functions.
#include "Platform/Win32.h"

#ifdef _WIN32
#include <winver.h>
#endif

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char* const kStandardNames[] = {
    "Comments",       "CompanyName",     "FileDescription",  "FileVersion", "InternalName",
    "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion",
};

// Printable ASCII as it is, every other byte as \xHH, so both runs print the same bytes.
std::string Escaped(const char* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(text[i]);
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

// FNV-1a of the block's own bytes: equal hashes mean both runs chose the same resource.
unsigned Hash(const std::vector<char>& block, size_t length) {
    unsigned hash = 2166136261u;
    for (size_t i = 0; i < length && i < block.size(); ++i) {
        hash = (hash ^ static_cast<unsigned char>(block[i])) * 16777619u;
    }
    return hash;
}

void PrintFixedInfo(const std::vector<char>& block) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        printf("  fixed: none (%u)\n", length);
        return;
    }
    VS_FIXEDFILEINFO info;
    memcpy(&info, value, sizeof info);
    printf("  fixed: file %u.%u.%u.%u product %u.%u.%u.%u flags %08X/%08X os %08X type %u/%u\n",
           HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
           LOWORD(info.dwFileVersionLS), HIWORD(info.dwProductVersionMS),
           LOWORD(info.dwProductVersionMS), HIWORD(info.dwProductVersionLS),
           LOWORD(info.dwProductVersionLS), static_cast<unsigned>(info.dwFileFlags),
           static_cast<unsigned>(info.dwFileFlagsMask), static_cast<unsigned>(info.dwFileOS),
           static_cast<unsigned>(info.dwFileType), static_cast<unsigned>(info.dwFileSubtype));
}

std::vector<DWORD> PrintTranslations(const std::vector<char>& block) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length)) {
        printf("  translations: none (error %u)\n", static_cast<unsigned>(GetLastError()));
        return {};
    }
    std::vector<DWORD> pairs(length / sizeof(DWORD));
    memcpy(pairs.data(), value, pairs.size() * sizeof(DWORD));
    printf("  translations:");
    for (DWORD pair : pairs) {
        printf(" %04x/%04x", LOWORD(pair), HIWORD(pair));
    }
    printf(" (%u bytes)\n", length);
    return pairs;
}

void PrintStrings(const std::vector<char>& block, DWORD pair) {
    for (const char* name : kStandardNames) {
        char path[128];
        snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", LOWORD(pair), HIWORD(pair),
                 name);
        LPVOID value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), path, &value, &length)) {
            printf("    %04x%04x %s: none (error %u)\n", LOWORD(pair), HIWORD(pair), name,
                   static_cast<unsigned>(GetLastError()));
            continue;
        }
        printf("    %04x%04x %s [%u]: %s\n", LOWORD(pair), HIWORD(pair), name, length,
               Escaped(static_cast<const char*>(value), length).c_str());
    }
}

void DumpFile(const std::string& folder, const std::string& name) {
    std::string path = folder + "\\" + name;
    printf("%s\n", name.c_str());
    DWORD handle = 0;
    SetLastError(0);
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) {
        printf("  size: 0 (error %u)\n", static_cast<unsigned>(GetLastError()));
        return;
    }
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), handle, size, block.data())) {
        printf("  size: %u, block: error %u\n", static_cast<unsigned>(size),
               static_cast<unsigned>(GetLastError()));
        return;
    }
    WORD length = 0;
    memcpy(&length, block.data(), sizeof length);
    printf("  size: %u, block: %u bytes, hash %08X\n", static_cast<unsigned>(size), length,
           Hash(block, length));
    PrintFixedInfo(block);
    for (DWORD pair : PrintTranslations(block)) {
        PrintStrings(block, pair);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s <DOS folder>  (file names on standard input)\n", argv[0]);
        return 2;
    }
    char line[1024];
    while (fgets(line, sizeof line, stdin) != nullptr) {
        size_t length = strcspn(line, "\r\n");
        if (length > 0) {
            DumpFile(argv[1], std::string(line, length));
        }
    }
    return 0;
}
