// Message texts from the message tables of files loaded as data, as the event log agent reads
// them: LoadLibraryExA(LOAD_LIBRARY_AS_DATAFILE), FormatMessageA(FROM_HMODULE), LocalFree,
// FreeLibrary, on DLLs that windmc and windres built from tests/fixtures/messages.
#include "PlatformTestSupport.h"
#include "tests/fixtures/messages/FixtureMessageIds.h"

#include <stdlib.h>

#include <string>

namespace {

constexpr DWORD kAgentFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                              FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                              FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kModuleOnly =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;

std::string MessageFixture(const char* name) {
    const char* folder = getenv("PALLWICK_MESSAGE_FIXTURES");
    return std::string(folder != nullptr ? folder : PALLWICK_MESSAGE_FIXTURES) + "\\" + name;
}

HMODULE LoadAsData(const std::string& path) {
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << path << " error " << GetLastError();
    return module;
}

// The text FormatMessageA allocates (flags gain FORMAT_MESSAGE_ALLOCATE_BUFFER), or "<error N>"
// with its last error; the returned length must be the text's.
std::string Format(DWORD flags, HMODULE module, DWORD id, DWORD language = 0) {
    char* buffer = reinterpret_cast<char*>(0x1);
    SetLastError(0);
    DWORD length = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, id, language,
                                  reinterpret_cast<LPSTR>(&buffer), 0, NULL);
    if (length == 0) {
        EXPECT_EQ(buffer, nullptr) << "a failure hands out no buffer";
        return "<error " + std::to_string(GetLastError()) + ">";
    }
    std::string text(buffer);
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(LocalFree(buffer), nullptr);
    return text;
}

std::string Error(DWORD code) {
    return "<error " + std::to_string(code) + ">";
}

TEST(MessageTableTest, EventSourceTextsKeepTheirInsertsAndEndInALineEnd) {
    HMODULE module = LoadAsData(MessageFixture("EventMessages.dll"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Format(kAgentFlags, module, 1), "Startup\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 3), "Network\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 1000), "The service %1 entered the %2 state.\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 1001), "Access to %1 failed: %%1100 (code %2).\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 1002),
              "Volume %1 is %%12 percent full after %3 tries.\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 1004),
              "First line of two.\r\nSecond line, 100%% sure.\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, 1005), "Text that stops here");
    EXPECT_EQ(Format(kAgentFlags, module, 1100), "the device is not ready\r\n");
    // Without IGNORE_INSERTS a doubled percent sign is one; at the widest width line ends are
    // blanks.
    EXPECT_EQ(Format(FORMAT_MESSAGE_FROM_HMODULE, module, 1004),
              "First line of two.\r\nSecond line, 100% sure.\r\n");
    EXPECT_EQ(Format(kAgentFlags | FORMAT_MESSAGE_MAX_WIDTH_MASK, module, 1004),
              "First line of two. Second line, 100%% sure. ");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(MessageTableTest, AnArgumentArrayFillsTheInserts) {
    HMODULE module = LoadAsData(MessageFixture("EventMessages.dll"));
    ASSERT_NE(module, nullptr);
    auto Text = [](const char* text) { return reinterpret_cast<DWORD_PTR>(text); };
    const DWORD_PTR arguments[] = {
        Text("C:"), 4096, 255,       static_cast<DWORD_PTR>(-42), Text("ab"), Text("xyz"),
        7,          'Q',  5,         DWORD_PTR{1} << 40,          0xBEEF,     8,
        8,          0,    Text("ab")};
    char text[256];
    const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    va_list* list = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments));
    EXPECT_GT(FormatMessageA(flags, module, 1006, 0, text, sizeof(text), list), 0u);
    EXPECT_STREQ(text, "Disk C: has 4096 bytes free (0xff) [  -42|ab  |xy|00007|Q|+5|1099511627776|"
                       "BEEF|10|010|0|000ab].\r\n");
    const DWORD_PTR names[] = {Text("Spooler"), Text("running")};
    list = reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(names));
    EXPECT_GT(FormatMessageA(flags, module, 1000, 0, text, sizeof(text), list), 0u);
    EXPECT_STREQ(text, "The service Spooler entered the running state.\r\n");
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(MessageTableTest, UnicodeEntriesComeOutInTheAnsiCodePage) {
    HMODULE module = LoadAsData(MessageFixture("SecondMessages.dll"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Format(kAgentFlags, module, kSecondFileOnlyId),
              "Only the second file holds message %1.\r\n");
    EXPECT_EQ(Format(kAgentFlags, module, kSecondFileOtherId),
              "The second file's text for id 1003 with the customer bit.\r\n");
    EXPECT_EQ(Format(kModuleOnly, module, 1000), Error(ERROR_MR_MID_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(MessageTableTest, TheSystemTableAnswersWhatTheModuleLacks) {
    HMODULE module = LoadAsData(MessageFixture("EventMessages.dll"));
    ASSERT_NE(module, nullptr);
    std::string system = Format(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, NULL,
                                ERROR_ACCESS_DENIED);
    EXPECT_EQ(system.rfind("<error", 0), std::string::npos) << system;
    EXPECT_EQ(Format(kAgentFlags, module, ERROR_ACCESS_DENIED), system);
    EXPECT_EQ(Format(kModuleOnly, module, ERROR_ACCESS_DENIED), Error(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(Format(kAgentFlags, module, kNowhereId), Error(ERROR_MR_MID_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
}

// The resource loader's order: the language asked for, then its neutral sublanguage, then neutral;
// for language 0 also the locale's (US English), English's neutral entry and US English, and at
// last the first language the table has.
TEST(MessageTableTest, LanguagesAreTriedInTheLoadersOrder) {
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    const WORD french = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
    const WORD british = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
    const std::string english = "English text.\r\n", deutsch = "Deutscher Text.\r\n";
    const std::string none = Error(ERROR_RESOURCE_LANG_NOT_FOUND);
    const struct {
        const char* fixture;
        WORD language;
        std::string text;
    } cases[] = {
        {"GermanAndEnglish.dll", 0, english},
        {"GermanAndEnglish.dll", MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), english},
        {"GermanAndEnglish.dll", german, deutsch},
        {"GermanAndEnglish.dll", french, none},
        {"GermanAndEnglish.dll", british, none}, // no English with the neutral sublanguage
        {"GermanAndFrench.dll", 0, deutsch},     // the first language
        {"NeutralSublanguages.dll", 0, english}, // English before German, the first
        {"NeutralSublanguages.dll", british, english},
        {"NeutralSublanguages.dll", german, deutsch},
        {"NeutralSublanguages.dll", french, none},
    };
    for (const auto& each : cases) {
        HMODULE module = LoadAsData(MessageFixture(each.fixture));
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(Format(kModuleOnly, module, 10, each.language), each.text)
            << each.fixture << " language " << each.language;
        EXPECT_TRUE(FreeLibrary(module));
    }
}

TEST(MessageTableTest, ModulesWithoutAMessageTable) {
    // The test program has no resource section, and a freed module none at all.
    EXPECT_EQ(Format(kModuleOnly, NULL, 1), Error(ERROR_RESOURCE_DATA_NOT_FOUND));
    HMODULE module = LoadAsData(FixturePath("AllStrings.dll"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Format(kModuleOnly, module, 1), Error(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(Format(kAgentFlags, module, ERROR_ACCESS_DENIED),
              Format(FORMAT_MESSAGE_FROM_SYSTEM, NULL, ERROR_ACCESS_DENIED));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(Format(kModuleOnly, module, 1), Error(ERROR_RESOURCE_DATA_NOT_FOUND));
    module = LoadAsData(FixturePath("NoResources.dll"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Format(kModuleOnly, module, 1), Error(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(MessageTableTest, ACallersBufferTooSmallIsLeftAlone) {
    HMODULE module = LoadAsData(MessageFixture("EventMessages.dll"));
    ASSERT_NE(module, nullptr);
    char text[10] = "xxxxxxxxx";
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                             1000, 0, text, sizeof(text), NULL),
              0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(text, "xxxxxxxxx");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, 1, 0, text, sizeof(text), NULL),
              9u);
    EXPECT_STREQ(text, "Startup\r\n");
    EXPECT_TRUE(FreeLibrary(module));
}

} // namespace
