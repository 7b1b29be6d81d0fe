#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/kernel32/Environment.h"
#include "Platform/Posix/kernel32/Files.h"
#include "Platform/Posix/kernel32/Modules.h"
#include "Platform/Posix/kernel32/Messages.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/kernel32/SystemMessages.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ErrnoMappingTest, GivesWindowsCodes) {
    const struct {
        int err;
        DWORD code;
    } cases[] = {
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EISDIR, ERROR_ACCESS_DENIED},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {ENOSPC, ERROR_DISK_FULL},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENAMETOOLONG, 206},
        {EBADF, ERROR_INVALID_HANDLE},
        {EINVAL, 87},
        {ENOTEMPTY, 145},
        {EROFS, ERROR_WRITE_PROTECT},
        {EBUSY, 170},
        {EXDEV, ERROR_NOT_SAME_DEVICE},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EEXIST, ERROR_FILE_EXISTS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(Win32ErrorFromErrno(each.err), each.code) << "errno " << each.err;
        EXPECT_NE(SystemMessageText(each.code), nullptr) << "no text for " << each.code;
    }
    EXPECT_EQ(Win32ErrorFromErrno(EEXIST, ERROR_ALREADY_EXISTS), (DWORD)ERROR_ALREADY_EXISTS);
}

TEST(ErrnoMappingTest, MissingFileAndMissingFolderDiffer) {
    EXPECT_EQ(Win32ErrorFromPathErrno(ENOENT, "/tmp/pallwick-no-such-file"),
              (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Win32ErrorFromPathErrno(ENOENT, "/tmp/pallwick-no-such-folder/file"),
              (DWORD)ERROR_PATH_NOT_FOUND);
}

// A null buffer with a size fails before anything is read or written into it.
TEST(ErrnoMappingTest, NullBufferWithASizeIsNoAccess) {
    char path[] = "/tmp/pallwick-nullbuffer-XXXXXX";
    int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    std::string dosPath = std::string("Z:") + path;
    HANDLE file = CreateFileA(dosPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD moved = 7;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(file, nullptr, 4, &moved, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    EXPECT_EQ(moved, 0u);
    SetLastError(0);
    EXPECT_FALSE(ReadFile(file, nullptr, 4, &moved, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    EXPECT_TRUE(CloseHandle(file));
    unlink(path);

    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, nullptr, 4), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    SetLastError(0);
    EXPECT_EQ(ExpandEnvironmentStringsA("%PATH%", nullptr, 4), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
}

// An image without the system's table: the built-in list answers.
TEST(SystemMessageTest, EveryCodeOtherAreasNeedHasText) {
    TestPrefix prefix;
    const DWORD codes[] = {ERROR_MORE_DATA,
                           ERROR_NO_MORE_ITEMS,
                           ERROR_SERVICE_DOES_NOT_EXIST,
                           ERROR_BAD_PATHNAME,
                           ERROR_INVALID_HANDLE,
                           ERROR_RESOURCE_DATA_NOT_FOUND,
                           ERROR_RESOURCE_TYPE_NOT_FOUND,
                           ERROR_BAD_EXE_FORMAT,
                           ERROR_INVALID_NAME,
                           ERROR_HANDLE_EOF,
                           ERROR_NEGATIVE_SEEK,
                           ERROR_BAD_NETPATH};
    for (DWORD code : codes) {
        EXPECT_NE(SystemMessageText(code), nullptr) << code;
    }
    char text[128];
    // Windows needs arguments for a text with an insert unless told to leave it alone.
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, ERROR_BAD_EXE_FORMAT, 0, text,
                             sizeof(text), NULL),
              0u);
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             ERROR_BAD_EXE_FORMAT, 0, text, sizeof(text), NULL),
              0u);
    EXPECT_STREQ(text, "%1 is not a valid Win32 application.\r\n");
}

struct CountedObject {
    HandleObject header;
    int* destroyed;
};

void DestroyCounted(HandleObject* object) {
    CountedObject* counted = reinterpret_cast<CountedObject*>(object);
    ++*counted->destroyed;
    free(counted);
}

HANDLE InsertCounted(HandleKind kind, int* destroyed) {
    CountedObject* object = static_cast<CountedObject*>(calloc(1, sizeof(CountedObject)));
    HandleObjectInit(&object->header, kind, DestroyCounted);
    object->destroyed = destroyed;
    return HandleInsert(&object->header);
}

TEST(HandleTableTest, KindsAreKeptApartAndReferencesOutliveClose) {
    int destroyed = 0;
    HANDLE key = InsertCounted(HandleKind::RegistryKey, &destroyed);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(key) % 4, 0u);

    SetLastError(0);
    EXPECT_EQ(HandleAcquire(key, HandleKind::Service), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(key)) << "CloseHandle closes kernel objects only";
    EXPECT_EQ(HandleAcquire(reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(key) + 1),
                            HandleKind::RegistryKey),
              nullptr);

    HandleObject* held = HandleAcquire(key, HandleKind::RegistryKey);
    ASSERT_NE(held, nullptr);
    EXPECT_TRUE(HandleClose(key, HandleKind::RegistryKey));
    EXPECT_EQ(destroyed, 0) << "still in use by the holder";
    EXPECT_EQ(HandleAcquire(key, HandleKind::RegistryKey), nullptr);
    HandleObjectRelease(held);
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(HandleClose(key, HandleKind::RegistryKey));
}

TEST(HandleTableTest, ConcurrentInsertAndCloseLoseNothing) {
    int destroyed[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&destroyed, t] {
            for (int i = 0; i < 2000; ++i) {
                HANDLE handle = InsertCounted(HandleKind::Module, &destroyed[t]);
                HandleObject* object = HandleAcquire(handle, HandleKind::Module);
                if (object == nullptr ||
                    reinterpret_cast<CountedObject*>(object)->destroyed != &destroyed[t]) {
                    ADD_FAILURE() << "handle handed to two owners";
                    return;
                }
                HandleObjectRelease(object);
                HandleClose(handle, HandleKind::Module);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int count : destroyed) {
        EXPECT_EQ(count, 2000);
    }
}

} // namespace
