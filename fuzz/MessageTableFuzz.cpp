// FormatMessageA FROM_HMODULE over a message table of any bytes, with an argument array of
// inserts. The input is split: a header (message id, flag choices, table length), the table,
// then the inserts, NUL-separated. The table is put in a small PE file of one resource section,
// which LoadLibraryExA opens as a data file, as the event log agent opens message files.
#include "Platform/Posix/Win32Layer.h"

#include "fuzz/FuzzMachine.h"
#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr char kDosPath[] = "C:\\messages.dll";
constexpr size_t kHeaderSize = 7; // id (4), choices (1), table length (2)
constexpr size_t kInsertCount = 99;

// Choice bits of the header.
constexpr BYTE kIgnoreInserts = 0x01;
constexpr BYTE kUnbroken = 0x02;
constexpr BYTE kCallerBuffer = 0x04;
constexpr BYTE kAlsoSystem = 0x08;
constexpr BYTE kNeutralLanguage = 0x10;

DWORD Le32(const uint8_t* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// The inserts: pieces of the input's tail, and empty texts for the numbers it does not reach.
std::vector<std::string> InsertsOf(const uint8_t* data, size_t size) {
    std::vector<std::string> inserts;
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size && inserts.size() < kInsertCount; ++i) {
        if (i == size || text[i] == '\0') {
            inserts.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    inserts.resize(kInsertCount);
    return inserts;
}

void Format(HMODULE module, DWORD id, BYTE choices, const DWORD_PTR* arguments) {
    DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    flags |= (choices & kIgnoreInserts) != 0 ? FORMAT_MESSAGE_IGNORE_INSERTS : 0;
    flags |= (choices & kUnbroken) != 0 ? FORMAT_MESSAGE_MAX_WIDTH_MASK : 0;
    flags |= (choices & kAlsoSystem) != 0 ? FORMAT_MESSAGE_FROM_SYSTEM : 0;
    DWORD language = (choices & kNeutralLanguage) != 0 ? 0 : 0x0409;
    va_list* argumentArray = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments));
    if ((choices & kCallerBuffer) != 0) {
        char buffer[64];
        DWORD length =
            FormatMessageA(flags, module, id, language, buffer, sizeof buffer, argumentArray);
        FuzzCheck(length < sizeof buffer && (length == 0 || buffer[length] == '\0'),
                  "a caller's buffer holds the text and its NUL");
        return;
    }
    char* allocated = nullptr;
    DWORD length = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, id, language,
                                  reinterpret_cast<LPSTR>(&allocated), 0, argumentArray);
    FuzzCheck(length == 0 || allocated != nullptr, "a text comes allocated");
    if (allocated != nullptr) {
        // An insert's %c of an argument whose low byte is 0 (a pointer here) puts a NUL inside.
        FuzzCheck(strlen(allocated) <= length && allocated[length] == '\0',
                  "the length returned is the text's");
        LocalFree(allocated);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzPrefix("") + "/drive_c/messages.dll";
    if (size < kHeaderSize) {
        return 0;
    }
    DWORD id = Le32(data);
    BYTE choices = data[4];
    size_t tableSize = static_cast<size_t>(data[5] | (data[6] << 8));
    size_t available = size - kHeaderSize;
    tableSize = tableSize < available ? tableSize : available;
    const uint8_t* table = data + kHeaderSize;
    std::vector<uint8_t> file = MessageTablePeFile(table, tableSize);
    if (!WriteFuzzFile(path, file.data(), file.size())) {
        abort();
    }
    std::vector<std::string> inserts = InsertsOf(table + tableSize, size - kHeaderSize - tableSize);
    DWORD_PTR arguments[kInsertCount];
    for (size_t i = 0; i < kInsertCount; ++i) {
        arguments[i] = reinterpret_cast<DWORD_PTR>(inserts[i].c_str());
    }
    HMODULE module = LoadLibraryExA(kDosPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    FuzzCheck(module != nullptr, "a well-formed PE file loads as a data file");
    Format(module, id, choices, arguments);
    FreeLibrary(module);
    return 0;
}
