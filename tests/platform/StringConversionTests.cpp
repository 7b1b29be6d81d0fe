#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

// é and €: one byte each in Windows-1252, the second from the range Latin-1 leaves to controls.
const char kAnsi[] = "caf\xE9 \x80";
const WCHAR kWide[] = {'c', 'a', 'f', 0x00E9, ' ', 0x20AC, 0};

TEST(StringConversionTest, AnsiCodePageRoundTripsItsOwnCharacters) {
    ASSERT_EQ(1252u, GetACP());
    WCHAR wide[16];
    ASSERT_EQ(7, MultiByteToWideChar(CP_ACP, 0, kAnsi, -1, wide, 16)) << "the terminator counts";
    EXPECT_EQ(0, memcmp(kWide, wide, sizeof kWide));
    char ansi[16];
    BOOL usedDefault = TRUE;
    ASSERT_EQ(7, WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, 16, NULL,
                                     &usedDefault));
    EXPECT_STREQ(kAnsi, ansi);
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(6, MultiByteToWideChar(CP_ACP, 0, kAnsi, 6, NULL, 0)) << "no terminator asked";
    EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, kWide, 6, NULL, 0, NULL, NULL));
}

TEST(StringConversionTest, CharactersOutsideTheCodePageGetBestFitOrTheDefault) {
    const WCHAR omegaAndHan[] = {0x03A9, 0x4E2D, 0};
    char ansi[8];
    BOOL usedDefault = FALSE;
    ASSERT_EQ(3, WideCharToMultiByte(CP_ACP, 0, omegaAndHan, -1, ansi, 8, NULL, &usedDefault));
    EXPECT_STREQ("O?", ansi);
    EXPECT_TRUE(usedDefault) << "the second has no best fit";
    const WCHAR omega[] = {0x03A9, 0};
    ASSERT_EQ(2, WideCharToMultiByte(CP_ACP, 0, omega, -1, ansi, 8, NULL, &usedDefault));
    EXPECT_FALSE(usedDefault) << "a best-fit letter is no default";
    ASSERT_EQ(2, WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, omega, -1, ansi, 8, "#",
                                     &usedDefault));
    EXPECT_STREQ("#", ansi);
    EXPECT_TRUE(usedDefault);
}

TEST(StringConversionTest, BadArgumentsFailWithTheirCodes) {
    WCHAR wide[4];
    char ansi[4];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, kAnsi, -1, wide, 4));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, kWide, -1, ansi, 4, NULL, NULL));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, kAnsi, 0, wide, 4));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, NULL, -1, ansi, 4, NULL, NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, kAnsi, -1, NULL, 4));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0x8000, kWide, -1, NULL, 0, NULL, NULL));
    EXPECT_EQ((DWORD)ERROR_INVALID_FLAGS, GetLastError()) << "no such flag";
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0x8000, kAnsi, -1, NULL, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_FLAGS, GetLastError()) << "no such flag";
}

} // namespace
