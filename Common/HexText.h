// Bytes as text the way registry binary data and event record data reach Java: two upper-case
// hexadecimal digits per byte, high nibble first, no separator.
#pragma once

#include <stddef.h>

// The size of the buffer the hex text of byteCount bytes needs, terminator included; 0 when
// that size does not fit a size_t.
size_t HexTextSize(size_t byteCount);

// Writes the hex text of bytes into text, which holds HexTextSize(byteCount) characters, and
// terminates it.
void WriteHexText(const unsigned char* bytes, size_t byteCount, char* text);

// The hex text of bytes in a new malloc'd buffer, or null when there is no memory for it.
char* NewHexText(const unsigned char* bytes, size_t byteCount);
