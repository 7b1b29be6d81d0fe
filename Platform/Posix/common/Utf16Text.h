// UTF-16 text, as the registry and PE resources keep it, against the ANSI code page that the A
// functions see (Windows-1252 under Wine's default English locale, as WideCharToMultiByte gives
// it without flags), and the upper-casing by which Windows compares names ignoring case.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

#include <string>

// One ANSI byte as UTF-16: the undefined bytes of 0x80..0x9F stand for the C1 control of the same
// number, as Windows maps them.
char16_t AnsiByteToUnit(unsigned char byte);

// ANSI bytes to UTF-16, one unit per byte (a single-byte code page).
std::u16string AnsiToUtf16(const char* text, size_t length);

// One UTF-16 unit to its ANSI byte: the character itself where Windows-1252 has it, else the
// best-fit substitute WideCharToMultiByte picks (U+03A9 -> 'O'), else '?'. A single-byte code
// page gives one byte per unit, so ANSI sizes equal UTF-16 unit counts.
char Utf16UnitToAnsi(char16_t unit);

// Writes count units as ANSI bytes to out, which holds at least count bytes.
void Utf16ToAnsi(const char16_t* text, size_t count, char* out);

// Windows compares names by their upper-case forms; this covers Latin, Greek and Cyrillic
// letters, beyond which names stay as they are.
char16_t UpcaseUnit(char16_t unit);
std::u16string UpcaseName(const std::u16string& name);

// Unix file names are UTF-8 to Wine. One sequence at text[0..available): its code point and the
// bytes it takes, or 0 when no valid sequence starts there (a stray or cut-short byte, an overlong
// form, a surrogate, beyond U+10FFFF).
size_t DecodeUtf8(const char* text, size_t available, char32_t* codePoint);

// The UTF-8 of one unit, 1 to 3 bytes into out (a lone surrogate is encoded as it stands).
size_t EncodeUtf8(char16_t unit, char out[3]);
