// English names of Windows language identifiers and code pages, as version resources and the
// registry give them. The texts are part of the library's results and stand letter for letter,
// trailing blanks included.
#pragma once

#include <stdint.h>

struct LanguageName {
    uint16_t language;
    const char* name;
};

struct CodePageName {
    uint16_t codePage;
    const char* name;
};

extern const LanguageName LanguageNames[140];
extern const CodePageName CodePageNames[151];

// The name of the language with this identifier, or "Unknown language". A 32-bit registry value
// passes its low 16 bits.
const char* LookupLanguageName(uint16_t language);

// The description of the code page with this number, or "Unknown CodePage".
const char* LookupCodePageName(uint16_t codePage);
