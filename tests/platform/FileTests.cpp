#include "PlatformTestSupport.h"

#include <filesystem>
#include <string>

namespace {

using CreateFileTest = ScratchFolderTest;
using ShareModeTest = ScratchFolderTest;
using RemoveFileTest = ScratchFolderTest;
using FileIoTest = ScratchFolderTest;

DWORD SizeOf(HANDLE file) {
    DWORD high = 0xDEAD;
    DWORD low = GetFileSize(file, &high);
    EXPECT_EQ(high, 0u);
    return low;
}

TEST_F(CreateFileTest, DispositionsReportWhetherTheFileExisted) {
    SetLastError(12345);
    HANDLE created = Open("a.log", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(created);

    EXPECT_EQ(Open("a.log", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);

    HANDLE reopened = Open("a.log", GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(reopened, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(reopened);

    HANDLE fresh = Open("b.log", GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    CloseHandle(fresh);
}

TEST_F(CreateFileTest, CreateAlwaysAndTruncateExistingEmptyTheFile) {
    const struct {
        DWORD disposition;
        DWORD error;
    } cases[] = {{CREATE_ALWAYS, ERROR_ALREADY_EXISTS}, {TRUNCATE_EXISTING, ERROR_SUCCESS}};
    for (const auto& c : cases) {
        WriteTextFile("a.log", "some text");
        HANDLE emptied = Open("a.log", GENERIC_WRITE, 0, c.disposition);
        ASSERT_NE(emptied, INVALID_HANDLE_VALUE) << c.disposition;
        EXPECT_EQ(GetLastError(), c.error) << c.disposition;
        EXPECT_EQ(SizeOf(emptied), 0u) << c.disposition;
        CloseHandle(emptied);
    }
}

TEST_F(CreateFileTest, RefusalsCarryWindowsErrors) {
    EXPECT_EQ(Open("missing.log", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("missing.log", GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open("no folder\\a.log", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(std::filesystem::create_directory(folder_ + "/sub"));
    EXPECT_EQ(Open("sub", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    EXPECT_EQ(Open("a.log", GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateFileA("", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST_F(CreateFileTest, ReadOnlyFileRefusesWritersButNotReaders) {
    HANDLE created = CreateFileA(PathOf("ro.log").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                 FILE_ATTRIBUTE_READONLY, NULL);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(created, "x", 1, &written, NULL)) << "the creating handle may write";
    CloseHandle(created);

    const DWORD writers[][2] = {{GENERIC_WRITE, OPEN_EXISTING}, {GENERIC_READ, CREATE_ALWAYS}};
    for (const DWORD* writer : writers) {
        HANDLE refused = Open("ro.log", writer[0], 0, writer[1]);
        EXPECT_EQ(refused, INVALID_HANDLE_VALUE) << "disposition " << writer[1];
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
        if (refused != INVALID_HANDLE_VALUE) {
            CloseHandle(refused);
        }
    }
    HANDLE reader = Open("ro.log", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
}

TEST_F(ShareModeTest, OpenConflictsWithHeldHandles) {
    WriteTextFile("a.log", "text");
    HANDLE reader = Open("a.log", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    // The held handle does not share writing.
    EXPECT_EQ(Open("a.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    // The new handle does not share the reading the held one does.
    EXPECT_EQ(Open("a.log", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    // A refused CREATE_ALWAYS must not have emptied the file.
    EXPECT_EQ(Open("a.log", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(SizeOf(reader), 4u);

    HANDLE secondReader = Open("a.log", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(secondReader, INVALID_HANDLE_VALUE);
    CloseHandle(secondReader);
    CloseHandle(reader);

    HANDLE writer = Open("a.log", GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "closing released the share modes";
    CloseHandle(writer);
}

TEST_F(ShareModeTest, DeleteAndMoveNeedDeleteSharing) {
    WriteTextFile("held.log", "text");
    WriteTextFile("shared.log", "text");
    HANDLE held = Open("held.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE shared =
        Open("shared.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(DeleteFileA(PathOf("held.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(MoveFileA(PathOf("held.log").c_str(), PathOf("moved.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);

    EXPECT_TRUE(MoveFileA(PathOf("shared.log").c_str(), PathOf("moved.log").c_str()));
    CloseHandle(shared);
    EXPECT_TRUE(DeleteFileA(PathOf("moved.log").c_str()));
    CloseHandle(held);
    EXPECT_TRUE(DeleteFileA(PathOf("held.log").c_str()));
}

// The diagnostic log's rotation: the old backup, still held by a process that writes into it,
// moves aside and is deleted there, which frees its name for the log whatever the system does with
// the name of a deleted file that is still open; the holder's writes go on without error.
TEST_F(ShareModeTest, AFileHeldSharingDeletionMovesAsideAndIsDeletedUnderItsWriter) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    WriteTextFile("log.BAK", "old");
    WriteTextFile("log", "full");
    HANDLE writer = Open("log.BAK", GENERIC_READ | FILE_APPEND_DATA, all, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    EXPECT_TRUE(MoveFileA(PathOf("log.BAK").c_str(), PathOf("log.BAK.aside").c_str()));
    EXPECT_TRUE(DeleteFileA(PathOf("log.BAK.aside").c_str()));
    EXPECT_TRUE(MoveFileA(PathOf("log").c_str(), PathOf("log.BAK").c_str()));
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(writer, "more", 4, &done, NULL));
    EXPECT_EQ(done, 4u);
    CloseHandle(writer);
    EXPECT_EQ(GetFileAttributesA(PathOf("log.BAK.aside").c_str()), INVALID_FILE_ATTRIBUTES)
        << "gone once its last handle closed";
    HANDLE backup = Open("log.BAK", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(SizeOf(backup), 4u);
    CloseHandle(backup);
}

// Windows 10 frees a deleted file's name at once since version 1903 (on NTFS), as Linux does;
// older Windows, and Wine, keep it taken until the last handle closes.
TEST_F(ShareModeTest, DeletingAnOpenFileFreesItsNameAtOnce) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    WriteTextFile("held.log", "text");
    WriteTextFile("other.log", "other");
    HANDLE held = Open("held.log", GENERIC_READ, all, OPEN_EXISTING);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileA(PathOf("held.log").c_str()));
    EXPECT_EQ(GetFileAttributesA(PathOf("held.log").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(MoveFileA(PathOf("other.log").c_str(), PathOf("held.log").c_str()));
    CloseHandle(held);
}

// Far past the end of the file, where the diagnostic log keeps its locks between processes.
TEST_F(ShareModeTest, ByteRangeLocksHoldBetweenHandles) {
    WriteTextFile("a.log", "text");
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE first = Open("a.log", GENERIC_READ | GENERIC_WRITE, share, OPEN_EXISTING);
    HANDLE second = Open("a.log", GENERIC_READ | GENERIC_WRITE, share, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    OVERLAPPED pastTheEnd = {};
    pastTheEnd.OffsetHigh = 0x7FFFFFFF;
    const DWORD exclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;

    EXPECT_TRUE(LockFileEx(first, exclusive, 0, 1, 0, &pastTheEnd));
    EXPECT_FALSE(LockFileEx(second, exclusive, 0, 1, 0, &pastTheEnd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LOCK_VIOLATION);
    EXPECT_FALSE(LockFileEx(second, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &pastTheEnd));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_LOCK_VIOLATION);
    EXPECT_TRUE(UnlockFileEx(first, 0, 1, 0, &pastTheEnd));

    EXPECT_TRUE(LockFileEx(second, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &pastTheEnd));
    EXPECT_TRUE(LockFileEx(first, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &pastTheEnd))
        << "both shared";
    EXPECT_FALSE(LockFileEx(first, exclusive, 0, 2, 0, &pastTheEnd));
    EXPECT_TRUE(UnlockFileEx(first, 0, 1, 0, &pastTheEnd));
    EXPECT_TRUE(UnlockFileEx(second, 0, 1, 0, &pastTheEnd));
    CloseHandle(first);
    CloseHandle(second);
}

TEST_F(RemoveFileTest, MoveNeverOverwrites) {
    WriteTextFile("from.log", "from");
    WriteTextFile("to.log", "to");
    EXPECT_FALSE(MoveFileA(PathOf("from.log").c_str(), PathOf("to.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    HANDLE target = Open("to.log", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(SizeOf(target), 2u);
    CloseHandle(target);

    EXPECT_FALSE(MoveFileA(PathOf("none.log").c_str(), PathOf("other.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(MoveFileA(PathOf("from.log").c_str(), PathOf("renamed.log").c_str()));
    EXPECT_EQ(Open("from.log", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

TEST_F(RemoveFileTest, DeleteRefusesWhatWindowsRefuses) {
    HANDLE readOnly = CreateFileA(PathOf("ro.log").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_READONLY, NULL);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    CloseHandle(readOnly);
    EXPECT_FALSE(DeleteFileA(PathOf("ro.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    ASSERT_TRUE(std::filesystem::create_directory(folder_ + "/sub"));
    EXPECT_FALSE(DeleteFileA(PathOf("sub").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    EXPECT_FALSE(DeleteFileA(PathOf("missing.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(PathOf("no folder\\a.log").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

// Names beyond ASCII are ANSI code page text: "café €.log" (é 0xE9, € 0x80) is one file, found
// again under its upper-case form (É 0xC9).
TEST_F(CreateFileTest, NamesBeyondAsciiAreOneFileInAnyCase) {
    HANDLE created = Open("caf\xE9 \x80.log", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(created, "prix", 4, &done, NULL));
    CloseHandle(created);

    HANDLE found = Open("CAF\xC9 \x80.LOG", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(found, INVALID_HANDLE_VALUE);
    char buffer[8] = {};
    EXPECT_TRUE(ReadFile(found, buffer, sizeof(buffer), &done, NULL));
    EXPECT_EQ(std::string(buffer, done), "prix");
    CloseHandle(found);

    EXPECT_EQ(GetFileAttributesA(PathOf("caf\xE9 \x80.log").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              0u);
    EXPECT_EQ(Open("cafe \x80.log", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "e is no \xE9";
    EXPECT_TRUE(DeleteFileA(PathOf("Caf\xC9 \x80.log").c_str()));
    EXPECT_EQ(GetFileAttributesA(PathOf("caf\xE9 \x80.log").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST_F(FileIoTest, WriteSeekReadRoundTrip) {
    HANDLE file = Open("data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &done, NULL));
    EXPECT_EQ(done, 11u);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_EQ(SizeOf(file), 11u);

    EXPECT_EQ(SetFilePointer(file, -5, NULL, FILE_END), 6u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, NULL));
    EXPECT_EQ(std::string(buffer, done), "world");
    done = 99;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, NULL)) << "EOF is not an error";
    EXPECT_EQ(done, 0u);

    EXPECT_EQ(SetFilePointer(file, 0, NULL, FILE_BEGIN), 0u);
    ASSERT_TRUE(ReadFile(file, buffer, 5, &done, NULL));
    EXPECT_EQ(std::string(buffer, done), "hello");
    EXPECT_EQ(SetFilePointer(file, 1, NULL, FILE_CURRENT), 6u);
    CloseHandle(file);
}

// The log's way of sharing one file between processes: a handle that may append but not write
// data writes at the end, wherever its pointer or another handle's writes left it.
TEST_F(FileIoTest, AppendOnlyHandleWritesAtTheEndWhereverItsPointerStands) {
    WriteTextFile("a.log", "one");
    HANDLE appender = Open("a.log", GENERIC_READ | FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writer = Open("a.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(appender, INVALID_HANDLE_VALUE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_EQ(SetFilePointer(appender, 0, NULL, FILE_BEGIN), 0u);
    ASSERT_TRUE(WriteFile(appender, "two", 3, &done, NULL));
    ASSERT_TRUE(WriteFile(writer, "ONE", 3, &done, NULL)) << "a writer still writes where it is";
    EXPECT_EQ(SetFilePointer(writer, 0, NULL, FILE_END), 6u);
    ASSERT_TRUE(WriteFile(writer, "six", 3, &done, NULL));
    EXPECT_EQ(SetFilePointer(appender, 1, NULL, FILE_BEGIN), 1u);
    ASSERT_TRUE(WriteFile(appender, "end", 3, &done, NULL));
    EXPECT_TRUE(FlushFileBuffers(appender));
    EXPECT_EQ(SetFilePointer(appender, 0, NULL, FILE_BEGIN), 0u);
    char buffer[32] = {};
    ASSERT_TRUE(ReadFile(appender, buffer, sizeof(buffer), &done, NULL));
    EXPECT_EQ(std::string(buffer, done), "ONEtwosixend");
    CloseHandle(writer);
    CloseHandle(appender);
}

// FlushFileBuffers documents GENERIC_WRITE; the system asks for write or append access, as
// ZwFlushBuffersFileEx documents, and Wine does the same.
TEST_F(FileIoTest, FlushNeedsWriteOrAppendAccess) {
    WriteTextFile("a.log", "text");
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        DWORD access;
        bool flushes;
    } cases[] = {{GENERIC_READ, false},
                 {GENERIC_READ | FILE_APPEND_DATA, true},
                 {FILE_APPEND_DATA, true},
                 {FILE_WRITE_DATA, true},
                 {GENERIC_WRITE, true}};
    for (const auto& c : cases) {
        HANDLE file = Open("a.log", c.access, share, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << std::hex << c.access;
        SetLastError(0);
        EXPECT_EQ(FlushFileBuffers(file) != FALSE, c.flushes) << std::hex << c.access;
        if (!c.flushes) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
        }
        CloseHandle(file);
    }
}

// Two handles are on one file when the volume serial number and the file index agree; a move
// keeps both.
TEST_F(FileIoTest, InformationByHandleTellsOneFileFromAnother) {
    WriteTextFile("a.log", "hello");
    WriteTextFile("b.log", "other");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE first = Open("a.log", GENERIC_READ | FILE_APPEND_DATA, all, OPEN_EXISTING);
    HANDLE second = Open("a.log", GENERIC_READ, all, OPEN_EXISTING);
    HANDLE other = Open("b.log", GENERIC_READ, all, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION one, two, three;
    ASSERT_TRUE(GetFileInformationByHandle(first, &one));
    ASSERT_TRUE(GetFileInformationByHandle(second, &two));
    ASSERT_TRUE(GetFileInformationByHandle(other, &three));
    EXPECT_EQ(one.dwVolumeSerialNumber, two.dwVolumeSerialNumber);
    EXPECT_EQ(one.nFileIndexHigh, two.nFileIndexHigh);
    EXPECT_EQ(one.nFileIndexLow, two.nFileIndexLow);
    EXPECT_EQ(one.dwVolumeSerialNumber, three.dwVolumeSerialNumber);
    EXPECT_TRUE(one.nFileIndexLow != three.nFileIndexLow ||
                one.nFileIndexHigh != three.nFileIndexHigh);
    EXPECT_EQ(one.nFileSizeLow, 5u);
    EXPECT_EQ(one.nFileSizeHigh, 0u);
    EXPECT_EQ(one.nNumberOfLinks, 1u);
    EXPECT_EQ(one.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_NE(one.ftLastWriteTime.dwHighDateTime, 0u);

    ASSERT_TRUE(MoveFileA(PathOf("a.log").c_str(), PathOf("c.log").c_str()));
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(first, "!", 1, &done, NULL));
    HANDLE moved = Open("c.log", GENERIC_READ, all, OPEN_EXISTING);
    ASSERT_NE(moved, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION after;
    ASSERT_TRUE(GetFileInformationByHandle(moved, &after));
    EXPECT_EQ(one.nFileIndexLow, after.nFileIndexLow);
    EXPECT_EQ(one.nFileIndexHigh, after.nFileIndexHigh);
    EXPECT_EQ(after.nFileSizeLow, 6u) << "the moved file's handle writes into it";
    for (HANDLE handle : {first, second, other, moved}) {
        CloseHandle(handle);
    }
    EXPECT_FALSE(GetFileInformationByHandle(first, &after));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(FileIoTest, FilePointerLimits) {
    HANDLE file = Open("data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(file, -1, NULL, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);

    // Beyond 4 GiB through the high part, without writing anything there.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 16u);
    EXPECT_EQ(high, 1);
    high = -1;
    EXPECT_EQ(SetFilePointer(file, -16, &high, FILE_CURRENT), 0u) << "-16 as a 64-bit distance";
    EXPECT_EQ(high, 1);
    CloseHandle(file);
}

TEST_F(FileIoTest, HandlesEnforceTheirAccess) {
    WriteTextFile("a.log", "text");
    HANDLE reader = Open("a.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writer = Open("a.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof(buffer), &done, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(reader);
    CloseHandle(writer);
}

TEST_F(FileIoTest, ClosedAndBogusHandlesAreRejected) {
    HANDLE file = Open("a.log", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle((HANDLE)(ULONG_PTR)0x7ffc));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

} // namespace
