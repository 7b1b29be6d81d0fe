#include "Platform/Win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string.h>
#include <thread>

namespace {

// Windows and Wine word their texts differently: only what they share is asserted.
TEST(FormatMessageTest, SystemTextEndsInCrLfAndCountsItsCharacters) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,       ERROR_SHARING_VIOLATION,
                           ERROR_ALREADY_EXISTS, ERROR_INSUFFICIENT_BUFFER, ERROR_NO_MORE_ITEMS};
    for (DWORD code : codes) {
        char text[512];
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof(text), NULL);
        ASSERT_GT(length, 2u) << "code " << code;
        EXPECT_EQ(length, (DWORD)strlen(text));
        EXPECT_STREQ(text + length - 2, "\r\n") << "code " << code;
    }
}

TEST(FormatMessageTest, FailuresLeaveTheBufferAlone) {
    char text[8];
    memset(text, 'x', sizeof(text));
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, ERROR_FILE_NOT_FOUND, 0, text,
                             sizeof(text), NULL),
              0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(text[0], 'x');

    char large[512];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             0x2000FFFF, 0, large, sizeof(large), NULL),
              0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MR_MID_NOT_FOUND);
}

// Creating and joining a thread may itself touch the last error on Windows, so the two threads
// hand over through atomics only while the values are compared.
TEST(LastErrorTest, IsPerThread) {
    std::atomic<int> step(0);
    DWORD seenByOther = 1;
    std::thread other([&] {
        while (step.load() != 1) {
        }
        seenByOther = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
        step.store(2);
    });
    SetLastError(ERROR_ACCESS_DENIED);
    step.store(1);
    while (step.load() != 2) {
    }
    DWORD mine = GetLastError();
    other.join();
    EXPECT_NE(seenByOther, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(mine, (DWORD)ERROR_ACCESS_DENIED);
}

TEST(CriticalSectionTest, IsReentrantAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section)) << "the owner may enter again";

    BOOL otherEntered = TRUE;
    std::thread([&] { otherEntered = TryEnterCriticalSection(&section); }).join();
    EXPECT_FALSE(otherEntered);

    LeaveCriticalSection(&section);
    std::thread([&] { otherEntered = TryEnterCriticalSection(&section); }).join();
    EXPECT_FALSE(otherEntered) << "one Leave per Enter";

    LeaveCriticalSection(&section);
    std::thread([&] {
        otherEntered = TryEnterCriticalSection(&section);
        if (otherEntered) {
            LeaveCriticalSection(&section);
        }
    }).join();
    EXPECT_TRUE(otherEntered);
    DeleteCriticalSection(&section);
}

TEST(TimeAndThreadTest, LocalTimeAndThreadIdsAreSane) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_TRUE(now.wMonth >= 1 && now.wMonth <= 12);
    EXPECT_TRUE(now.wDay >= 1 && now.wDay <= 31);
    EXPECT_LE(now.wDayOfWeek, 6);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMilliseconds, 999);

    DWORD mine = GetCurrentThreadId();
    DWORD other = 0;
    std::thread([&other] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(mine, GetCurrentThreadId());
    EXPECT_NE(mine, other);
}

TEST(DriveTypeTest, CurrentDriveIsFixedAndUnmappedLettersHaveNoRoot) {
    EXPECT_EQ(GetDriveTypeA(NULL), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("\\"), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("Q:\\"), (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA(""), (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA("Q"), (UINT)DRIVE_NO_ROOT_DIR);
}

// A path that ends in a separator names its folder, on whose volume the type depends, as the
// folder's own drive root would answer; a folder that does not exist is no root.
TEST(DriveTypeTest, FolderNamedWithATrailingSeparatorIsOnItsDrive) {
    char current[MAX_PATH];
    DWORD length = GetFullPathNameA(".", MAX_PATH, current, nullptr);
    ASSERT_GT(length, 3u) << "the tests run in a folder below a drive root";
    UINT drive = GetDriveTypeA(NULL);
    EXPECT_NE(drive, (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeA((std::string(current) + "\\").c_str()), drive);
    EXPECT_EQ(GetDriveTypeA((std::string(current) + "/").c_str()), drive);
    EXPECT_EQ(GetDriveTypeA((std::string(current) + "\\no-such-folder\\").c_str()),
              (UINT)DRIVE_NO_ROOT_DIR);
}

// Without the separator a folder is no root, and the answer leaves the last error alone.
TEST(DriveTypeTest, FolderNamedWithoutTheSeparatorIsNoRoot) {
    char current[MAX_PATH];
    ASSERT_GT(GetFullPathNameA(".", MAX_PATH, current, nullptr), 3u);
    SetLastError(12345);
    EXPECT_EQ(GetDriveTypeA(current), (UINT)DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetLastError(), 12345u);
}

// The wineboot-made prefix maps N:, O: and P: to plain local folders and marks them "network",
// "cdrom" and "floppy" under Software\Wine\Drives (scripts/wine-prefix): the mark, not the file
// system, gives their type.
TEST(DriveTypeTest, WinebootDrivesTakeTheTypeThePrefixMarks) {
    char prefix[MAX_PATH];
    if (GetEnvironmentVariableA("PALLWICK_WINEBOOT_PREFIX", prefix, sizeof(prefix)) == 0) {
        GTEST_SKIP() << "no wineboot-made prefix";
    }
    EXPECT_EQ(GetDriveTypeA("N:\\"), (UINT)DRIVE_REMOTE);
    EXPECT_EQ(GetDriveTypeA("o:"), (UINT)DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("P:\\"), (UINT)DRIVE_REMOVABLE);
}

} // namespace
