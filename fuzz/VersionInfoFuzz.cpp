// The version functions over a whole file: GetFileVersionInfoSizeA, GetFileVersionInfoA into a
// buffer of the size it asks for and into one too small, and VerQueryValueA for the fixed part,
// the translations and the strings of each translation, as the version agent asks for them.
#include "Platform/Posix/Win32Layer.h"

#include "fuzz/FuzzSupport.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

constexpr char kDosPath[] = "C:\\fuzz.dll";
constexpr const char* kStringNames[] = {"CompanyName", "FileDescription", "FileVersion",
                                        "ProductName", "ProductVersion",  "OriginalFilename"};
constexpr UINT kTranslationCapacity = 4;

// Reads every byte that VerQueryValueA handed out, so that ASan sees a reach past the block.
void Touch(const void* value, UINT length) {
    volatile unsigned sum = 0;
    for (UINT i = 0; i < length; ++i) {
        sum = sum + static_cast<const BYTE*>(value)[i];
    }
}

void QueryStrings(BYTE* block, WORD language, WORD codePage) {
    for (const char* name : kStringNames) {
        char subBlock[96];
        snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", language, codePage,
                 name);
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(block, subBlock, &value, &length) && value != nullptr) {
            // A string's length counts its terminating NUL, which is there to read.
            Touch(value, length);
        }
    }
}

void QueryBlock(BYTE* block) {
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block, "\\", &value, &length) && value != nullptr) {
        Touch(value, length);
    }
    if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", &value, &length) || value == nullptr) {
        return;
    }
    Touch(value, length);
    const WORD* pairs = static_cast<const WORD*>(value);
    UINT count = length / 4 < kTranslationCapacity ? length / 4 : kTranslationCapacity;
    for (UINT i = 0; i < count; ++i) {
        QueryStrings(block, pairs[2 * i], pairs[2 * i + 1]);
    }
    QueryStrings(block, 0x0409, 0x04b0);
}

// VerQueryValueA reads the header of whatever block it is given, as Windows' does: a buffer too
// short for one is the caller's mistake, not the block's.
constexpr DWORD kNodeHeaderSize = 6;

void ReadInto(DWORD capacity) {
    std::vector<BYTE> block(capacity == 0 ? 1 : capacity);
    if (GetFileVersionInfoA(kDosPath, 0, capacity, block.data()) && capacity >= kNodeHeaderSize) {
        QueryBlock(block.data());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzPrefix("") + "/drive_c/fuzz.dll";
    if (!WriteFuzzFile(path, data, size)) {
        abort();
    }
    DWORD handle = 0;
    DWORD needed = GetFileVersionInfoSizeA(kDosPath, &handle);
    if (needed == 0) {
        return 0;
    }
    // The agent's own sizes are the ones asked; no file's version block is megabytes long.
    if (needed > (1u << 24)) {
        return 0;
    }
    ReadInto(needed);
    ReadInto(needed / 3);
    return 0;
}
