#include "Common/LanguageNames.h"

#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>

namespace {

TEST(LanguageNamesTest, NamesOfWellKnownLanguages) {
    EXPECT_STREQ("English (United States)", LookupLanguageName(0x0409));
    EXPECT_STREQ("Language Neutral", LookupLanguageName(0x0000));
    EXPECT_STREQ("Spanish (Spain, Modern Sort)", LookupLanguageName(0x0C0A));
    EXPECT_STREQ("Spanish (Spain, Traditional Sort)", LookupLanguageName(0x040A));
    EXPECT_STREQ("Polish", LookupLanguageName(0x0415));
    EXPECT_STREQ("Serbian (Cyrillic)", LookupLanguageName(0x0C1A));
    EXPECT_STREQ("Unknown language", LookupLanguageName(0x0462));
    EXPECT_STREQ("English (United States)", LookupLanguageName((uint16_t)0x00010409))
        << "a registry DWORD passes its low 16 bits";
}

TEST(LanguageNamesTest, NamesOfCodePagesKeepTheirTrailingBlanks) {
    EXPECT_STREQ("Unicode UCS-2 Little-Endian (BMP of ISO 10646)", LookupCodePageName(1200));
    EXPECT_STREQ("Unicode UTF-8", LookupCodePageName(65001));
    EXPECT_STREQ("7-bit ASCII", LookupCodePageName(0));
    EXPECT_STREQ("ANSI - Latin I ", LookupCodePageName(1252));
    EXPECT_STREQ("ISO 8859-8 Hebrew", LookupCodePageName(28598));
    EXPECT_STREQ("ISO 8859-8 Hebrew", LookupCodePageName(38598));
    EXPECT_STREQ("Unknown CodePage", LookupCodePageName(1));

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
