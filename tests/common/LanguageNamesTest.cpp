#include "Common/LanguageNames.h"

#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>
#include <set>
#include <string>

namespace {

struct KnownName {
    uint16_t code;
    const char* name;
};

void ExpectNames(const char* (*lookup)(uint16_t), std::initializer_list<KnownName> known) {
    for (const KnownName& entry : known) {
        EXPECT_STREQ(entry.name, lookup(entry.code)) << std::hex << entry.code;
    }
}

TEST(LanguageNamesTest, NamesOfWellKnownLanguages) {
    ExpectNames(LookupLanguageName, {{0x0409, "English (United States)"},
                                     {0x0000, "Language Neutral"},
                                     {0x0C0A, "Spanish (Spain, Modern Sort)"},
                                     {0x040A, "Spanish (Spain, Traditional Sort)"},
                                     {0x0415, "Polish"},
                                     {0x0C1A, "Serbian (Cyrillic)"},
                                     {0x0462, "Unknown language"}});
    EXPECT_STREQ("English (United States)", LookupLanguageName((uint16_t)0x00010409))
        << "a registry DWORD passes its low 16 bits";
}

TEST(LanguageNamesTest, NamesOfCodePagesKeepTheirTrailingBlanks) {
    ExpectNames(LookupCodePageName, {{1200, "Unicode UCS-2 Little-Endian (BMP of ISO 10646)"},
                                     {65001, "Unicode UTF-8"},
                                     {0, "7-bit ASCII"},
                                     {1252, "ANSI - Latin I "},
                                     {28598, "ISO 8859-8 Hebrew"},
                                     {38598, "ISO 8859-8 Hebrew"},
                                     {1, "Unknown CodePage"}});

    int trailingBlanks = 0;
    for (const CodePageName& row : CodePageNames) {
        trailingBlanks += row.name[0] != '\0' && row.name[strlen(row.name) - 1] == ' ' ? 1 : 0;
    }
    EXPECT_EQ(15, trailingBlanks);
}

// A duplicate key would hide its second row; the code pages must stay in ascending order.
TEST(LanguageNamesTest, KeysAreUniqueAndCodePagesAscend) {
    std::set<uint16_t> languages;
    for (const LanguageName& row : LanguageNames) {
        EXPECT_TRUE(languages.insert(row.language).second) << row.name;
    }
    for (size_t i = 1; i < sizeof CodePageNames / sizeof CodePageNames[0]; ++i) {
        EXPECT_LT(CodePageNames[i - 1].codePage, CodePageNames[i].codePage);
    }
}

} // namespace
