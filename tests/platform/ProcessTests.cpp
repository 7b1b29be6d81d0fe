// The process's view of itself: its module names, its environment, full paths and the tick count.
#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>
#include <string>

namespace {

std::string FullPathOf(const char* name) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(name, sizeof(full), full, NULL);
    EXPECT_GT(length, 0u) << name;
    EXPECT_LT(length, (DWORD)sizeof(full)) << name;
    return length > 0 && length < sizeof(full) ? std::string(full, length) : std::string();
}

bool EndsWith(const std::string& text, const char* tail) {
    size_t length = strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

TEST(ModuleNameTest, HostExecutableIsAFullDosPath) {
    char name[MAX_PATH];
    SetLastError(12345);
    DWORD length = GetModuleFileNameA(NULL, name, sizeof(name));
    ASSERT_GT(length, 3u);
    EXPECT_EQ(length, (DWORD)strlen(name));
    EXPECT_TRUE(isalpha((unsigned char)name[0]) && name[1] == ':' && name[2] == '\\') << name;
    EXPECT_TRUE(EndsWith(name, "platform_tests.exe") || EndsWith(name, "platform_tests")) << name;
    EXPECT_EQ(strchr(name, '/'), nullptr) << name;
}

TEST(ModuleNameTest, ShortBufferReturnsItsSize) {
    char full[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, full, sizeof(full));
    ASSERT_GT(length, 8u);

    char shortName[8];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(NULL, shortName, sizeof(shortName)), (DWORD)sizeof(shortName));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(strncmp(shortName, full, sizeof(shortName) - 1), 0);

    char exact[MAX_PATH];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(NULL, exact, length), length) << "no room for the terminator";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

TEST(ModuleNameTest, ShortBufferNameIsTerminated) {
    char shortName[8];
    memset(shortName, 'x', sizeof(shortName));
    EXPECT_EQ(GetModuleFileNameA(NULL, shortName, sizeof(shortName)), (DWORD)sizeof(shortName));
    EXPECT_EQ(shortName[sizeof(shortName) - 1], '\0');
}

TEST(ModuleNameTest, UnknownModuleFails) {
    char name[MAX_PATH];
    EXPECT_EQ(GetModuleFileNameA((HMODULE)(ULONG_PTR)0x10, name, sizeof(name)), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
}

TEST(FullPathTest, FoldsDotsAndSeparatorsAndFindsTheFilePart) {
    char full[MAX_PATH];
    LPSTR filePart = NULL;
    DWORD length = GetFullPathNameA("C:\\a\\.\\b\\..\\c/d.txt", sizeof(full), full, &filePart);
    EXPECT_STREQ(full, "C:\\a\\c\\d.txt");
    EXPECT_EQ(length, (DWORD)strlen("C:\\a\\c\\d.txt"));
    EXPECT_EQ(filePart, full + strlen("C:\\a\\c\\"));

    filePart = full;
    GetFullPathNameA("C:\\a\\b\\", sizeof(full), full, &filePart);
    EXPECT_STREQ(full, "C:\\a\\b\\");
    EXPECT_EQ(filePart, nullptr) << "a path ending in a separator names no file";

    GetFullPathNameA("C:\\a\\..\\..", sizeof(full), full, &filePart);
    EXPECT_STREQ(full, "C:\\");
    GetFullPathNameA("C:\\logs\\a.log.", sizeof(full), full, &filePart);
    EXPECT_STREQ(full, "C:\\logs\\a.log") << "trailing dots are dropped";
}

TEST(FullPathTest, RelativeNamesStartAtTheCurrentDirectory) {
    std::string current = FullPathOf(".");
    ASSERT_GT(current.size(), 2u);
    EXPECT_EQ(current[1], ':');
    std::string folder = EndsWith(current, "\\") ? current : current + "\\";

    char full[MAX_PATH];
    LPSTR filePart = NULL;
    GetFullPathNameA("sub\\file.txt", sizeof(full), full, &filePart);
    EXPECT_EQ(std::string(full), folder + "sub\\file.txt");
    ASSERT_NE(filePart, nullptr);
    EXPECT_STREQ(filePart, "file.txt");

    std::string parent = FullPathOf("..");
    std::string parentFolder = EndsWith(parent, "\\") ? parent : parent + "\\";
    EXPECT_EQ(FullPathOf("..\\x"), parentFolder + "x");
}

TEST(FullPathTest, SizeRules) {
    const char* name = "C:\\folder\\file.txt";
    DWORD length = (DWORD)strlen(name);
    EXPECT_EQ(GetFullPathNameA(name, 0, NULL, NULL), length + 1);

    char full[MAX_PATH];
    memset(full, 'x', sizeof(full));
    LPSTR filePart = (LPSTR)full;
    EXPECT_EQ(GetFullPathNameA(name, length, full, &filePart), length + 1);
    EXPECT_EQ(full[0], 'x') << "a short buffer is left alone";
    EXPECT_EQ(filePart, (LPSTR)full) << "and so is the file part";
    EXPECT_EQ(GetFullPathNameA(name, length + 1, full, &filePart), length);
    EXPECT_STREQ(full, name);

    std::string tooLong(300, 'a');
    SetLastError(0);
    EXPECT_EQ(GetFullPathNameA(tooLong.c_str(), sizeof(full), full, NULL), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

class EnvironmentTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SetEnvironmentVariableA("PALLWICK_TVAR", "WINE")); }
    void TearDown() override { SetEnvironmentVariableA("PALLWICK_TVAR", NULL); }

    std::string Expand(const char* source) {
        char out[512];
        DWORD size = ExpandEnvironmentStringsA(source, out, sizeof(out));
        EXPECT_GT(size, 0u) << source;
        EXPECT_EQ(size, (DWORD)strlen(out) + 1) << source;
        return out;
    }
};

TEST_F(EnvironmentTest, ExpandsKnownNamesIgnoringCaseAndKeepsTheRest) {
    EXPECT_EQ(Expand("%pallwick_tvar% long"), "WINE long");
    EXPECT_EQ(Expand("%PALLWICK_TVAR%%Pallwick_Tvar%"), "WINEWINE");
    EXPECT_EQ(Expand("%PALLWICK_NO_SUCH% x"), "%PALLWICK_NO_SUCH% x");
    EXPECT_EQ(Expand("50% off"), "50% off");
    EXPECT_EQ(Expand("%%"), "%%");
    EXPECT_EQ(Expand("%PALLWICK_NO_SUCH%PALLWICK_TVAR%"), "%PALLWICK_NO_SUCH%PALLWICK_TVAR%")
        << "scanning goes on after the unknown name's closing %";
    EXPECT_EQ(Expand(""), "");
}

TEST_F(EnvironmentTest, ExpansionSizeRules) {
    const char* source = "%PALLWICK_TVAR% long long";
    const DWORD needed = (DWORD)strlen("WINE long long") + 1;
    DWORD reported = ExpandEnvironmentStringsA(source, NULL, 0);
    EXPECT_GE(reported, needed);

    char out[64];
    EXPECT_EQ(ExpandEnvironmentStringsA(source, out, reported), needed);
    EXPECT_STREQ(out, "WINE long long");
    EXPECT_EQ(ExpandEnvironmentStringsA(source, out, needed), needed);
    EXPECT_GT(ExpandEnvironmentStringsA(source, out, needed - 1), needed - 1);
}

TEST_F(EnvironmentTest, ShortBufferGetsAnEmptyStringAndOneMore) {
    const char* source = "%PALLWICK_TVAR% long long";
    const DWORD needed = (DWORD)strlen("WINE long long") + 1;
    char out[64];
    // The ANSI call on current Windows asks for one more than it needs, and leaves an empty
    // string rather than a partial result.
    strcpy(out, "abcdefghijklmnopqrstuv");
    EXPECT_EQ(ExpandEnvironmentStringsA(source, out, needed - 1), needed + 1);
    EXPECT_STREQ(out, "");
    strcpy(out, "abcdefghijklmnopqrstuv");
    EXPECT_EQ(ExpandEnvironmentStringsA(source, out, 4), needed + 1);
    EXPECT_STREQ(out, "");
}

TEST_F(EnvironmentTest, WindowsFoldersExpand) {
    std::string windir = Expand("%windir%");
    EXPECT_GT(windir.size(), 3u);
    EXPECT_EQ(windir.find('%'), std::string::npos);
    EXPECT_EQ(windir.substr(1, 2), ":\\");
    EXPECT_EQ(Expand("%SystemRoot%"), windir);
    EXPECT_NE(Expand("%ProgramFiles%").find(":\\"), std::string::npos);
    EXPECT_NE(Expand("%TEMP%").find(":\\"), std::string::npos);
}

TEST_F(EnvironmentTest, GetAndSetFollowWindowsRules) {
    char value[16];
    EXPECT_EQ(GetEnvironmentVariableA("pallwick_tvar", NULL, 0), 5u);
    EXPECT_EQ(GetEnvironmentVariableA("pallwick_tvar", value, 4), 5u);
    EXPECT_EQ(GetEnvironmentVariableA("pallwick_tvar", value, 5), 4u);
    EXPECT_STREQ(value, "WINE");

    ASSERT_TRUE(SetEnvironmentVariableA("Pallwick_TVar", "other"));
    EXPECT_EQ(GetEnvironmentVariableA("PALLWICK_TVAR", value, sizeof(value)), 5u);
    EXPECT_STREQ(value, "other") << "one variable, whatever the case of its name";

    ASSERT_TRUE(SetEnvironmentVariableA("PALLWICK_TVAR", NULL));
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableA("PALLWICK_TVAR", value, sizeof(value)), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(Expand("%PALLWICK_TVAR%"), "%PALLWICK_TVAR%");
}

TEST(TickCountTest, SleepWaitsAndTheTickCountFollows) {
    DWORD before = GetTickCount();
    Sleep(100);
    DWORD elapsed = GetTickCount() - before;
    // Only the lower bound holds on a busy machine.
    EXPECT_GE(elapsed, 80u) << "tick counts may be as coarse as 16 ms";
}

} // namespace
