#include "Common/AsciiCase.h"
#include "Common/HexText.h"
#include "Common/RegistryErrorLog.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

#define LOG_SOURCE "Common\\Tests\\SharedHelpersTest"

TEST(HexTextTest, UpperCaseDigitsHighNibbleFirstWithoutSeparator) {
    const unsigned char bytes[] = {0x00, 0xAB, 0x10, 0x0F, 0xF0, 0xFF};
    char* text = NewHexText(bytes, sizeof bytes);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("00AB100FF0FF", text);
    free(text);
    char empty[1] = {'x'};
    WriteHexText(bytes, 0, empty);
    EXPECT_STREQ("", empty);
    EXPECT_EQ(SIZE_MAX, HexTextSize(SIZE_MAX / 2));
    EXPECT_EQ(0u, HexTextSize(SIZE_MAX / 2 + 1)) << "a size that would wrap";
}

// Only ASCII letters fold, whatever locale the host set: é and É stay apart.
TEST(AsciiCaseTest, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("Language", "LANGUAGE"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("ProdID", "ProdIDs"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE9", "\xC9"));
    char name[] = "SETUP\xC9.EXE";
    LowerAsciiInPlace(name);
    EXPECT_STREQ("setup\xC9.exe", name);
}

// The registry returns its status instead of setting the last error; the record names that status
// (in the built-in words of an image without the system's table).
TEST(RegistryErrorLogTest, RecordsTheStatusNotAStaleLastError) {
    TestPrefix prefix;
    LogCapture log("sharedhelpers-" + std::to_string(getpid()));
    SetLastError(ERROR_ACCESS_DENIED);
    LOG_REGISTRY_ERROR("OpenSomething", (LONG)ERROR_FILE_NOT_FOUND);
    std::vector<LogRecord> records = log.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("System code: 2: The system cannot find the file specified.", records[0].message);
    EXPECT_EQ("OpenSomething", records[0].function);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
}

} // namespace
