#include "Common/HexText.h"

#include "Common/Allocation.h"

#include <stdint.h>
#include <stdlib.h>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

} // namespace

size_t HexTextSize(size_t byteCount) {
    return byteCount > (SIZE_MAX - 1) / 2 ? 0 : 2 * byteCount + 1;
}

void WriteHexText(const unsigned char* bytes, size_t byteCount, char* text) {
    for (size_t i = 0; i < byteCount; ++i) {
        text[2 * i] = kHexDigits[bytes[i] >> 4];
        text[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
    }
    text[2 * byteCount] = '\0';
}

char* NewHexText(const unsigned char* bytes, size_t byteCount) {
    size_t size = HexTextSize(byteCount);
    char* text = size > 0 ? static_cast<char*>(LibraryMalloc(size)) : nullptr;
    if (text != nullptr) {
        WriteHexText(bytes, byteCount, text);
    }
    return text;
}
