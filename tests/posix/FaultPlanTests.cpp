// The layer's one fault seam: a planned failure reaches each kind of entry point as that function
// reports failures, every call is counted, and one reset restores the whole machine.
#include "Platform/Posix/LayerTestHooks.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/Handles.h"
#include "Platform/Posix/kernel32/TestClock.h"
#include "Platform/Win32.h"
#include "tests/support/TestPrefix.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <filesystem>
#include <strings.h>
#include <vector>

namespace {

class FaultPlanTest : public ::testing::Test {
  protected:
    void SetUp() override { LayerResetForTests(); }
    void TearDown() override { LayerResetForTests(); }
    TestPrefix prefix_;
};

TEST_F(FaultPlanTest, FailsTheKthCallOnceAsEachFunctionReportsFailure) {
    FaultPlanFailNthCall(2, ERROR_ACCESS_DENIED);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES) << "only once";

    HKEY key = nullptr;
    FaultPlanFailNthCall(1, ERROR_OUTOFMEMORY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Planned", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_OUTOFMEMORY);
    EXPECT_EQ(key, nullptr);

    FaultPlanFailNthCall(1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    FaultPlanFailNthCall(1, ERROR_DISK_FULL);
    EXPECT_EQ(SHCreateDirectoryExA(nullptr, "C:\\planned", nullptr), ERROR_DISK_FULL);
    EXPECT_EQ(GetFileAttributesA("C:\\planned"), INVALID_FILE_ATTRIBUTES) << "nothing done";
}

TEST_F(FaultPlanTest, FailsEveryCallOfOneFunctionAndCountsEachCall) {
    FaultPlanFailEveryCall(LayerCall::RegQueryValueExA, ERROR_INVALID_DATA);
    DWORD size = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_DATA);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(FaultPlanCallCountOf(LayerCall::RegQueryValueExA), 2u);
    EXPECT_EQ(FaultPlanCallCountOf(LayerCall::RegOpenKeyExA), 1u);
    EXPECT_EQ(FaultPlanCallCount(), 3u);
}

DWORD OutOfMemoryForAllocations(LayerCall call) {
    return call == LayerCall::LocalAlloc ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS;
}

TEST_F(FaultPlanTest, TheKthCallFailsWithTheErrorChosenForItsFunction) {
    FaultPlanFailNthCallWith(1, OutOfMemoryForAllocations);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES) << "chosen to go";
    HLOCAL allocated = LocalAlloc(LMEM_FIXED, 8);
    EXPECT_NE(allocated, nullptr) << "the plan was spent on the first call";
    LocalFree(allocated);
    FaultPlanFailNthCallWith(2, OutOfMemoryForAllocations);
    GetFileAttributesA("C:\\");
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
}

// The manager reads its services from the registry: a read that fails there fails the manager's
// call with that error, where it used to answer with a start type of 0 or no service at all.
TEST_F(FaultPlanTest, ARegistryFailureUnderTheManagerFailsItsCall) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service =
        CreateServiceA(manager, "Planned", "Planned", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\p.sys", nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    std::vector<BYTE> buffer(8192);
    auto config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
    DWORD needed = 0;
    FaultPlanFailEveryCall(LayerCall::RegQueryValueExA, ERROR_KEY_DELETED);
    SetLastError(0);
    EXPECT_FALSE(QueryServiceConfigA(service, config, 8192, &needed));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_KEY_DELETED);
    SetLastError(0);
    EXPECT_EQ(OpenServiceA(manager, "Planned", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_KEY_DELETED) << "not ERROR_SERVICE_DOES_NOT_EXIST";
    DWORD returned = 0, resume = 0;
    SetLastError(0);
    EXPECT_FALSE(EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_DRIVER,
                                       SERVICE_STATE_ALL, buffer.data(), 8192, &needed, &returned,
                                       &resume, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_KEY_DELETED) << "not a list without the service";
    FaultPlanClear();
    EXPECT_TRUE(QueryServiceConfigA(service, config, 8192, &needed));
    EXPECT_EQ(config->dwStartType, (DWORD)SERVICE_DEMAND_START);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

// A message file that cannot be read may hold the message: the system's text of the same number
// must not stand in for it.
TEST_F(FaultPlanTest, AnUnreadableMessageFileIsNoReasonForTheSystemsText) {
    HMODULE module = LoadLibraryExA(PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll", nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    const DWORD flags =
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    char text[256] = "";
    FaultPlanFailEveryCall(PosixCall::Pread, EIO);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(flags, module, 1, 0, text, sizeof text, nullptr), 0u) << text;
    EXPECT_EQ(GetLastError(), Win32ErrorFromErrno(EIO));
    FaultPlanClear();
    EXPECT_NE(FormatMessageA(flags, module, 1, 0, text, sizeof text, nullptr), 0u);
    EXPECT_STREQ(text, "Startup\r\n");
    FreeLibrary(module);
}

// The buffer FormatMessageA hands out comes from LocalAlloc, which may fail on its own.
TEST_F(FaultPlanTest, AMessageBufferThatCannotBeHadFailsTheMessage) {
    FaultPlanFailEveryCall(LayerCall::LocalAlloc, ERROR_NOT_ENOUGH_MEMORY);
    char* text = reinterpret_cast<char*>(0x1);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&text), 0,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(FaultPlanCallCountOf(LayerCall::LocalAlloc), 1u);
}

TEST_F(FaultPlanTest, ResetRestoresTheMachineAndOpenHandlesAreCounted) {
    size_t openBefore = HandleOpenCount();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(HandleOpenCount(), openBefore + 1);
    TestClockStart(5);
    FaultPlanFailEveryCall(LayerCall::RegOpenKeyExA, ERROR_ACCESS_DENIED);

    LayerResetForTests();
    EXPECT_EQ(FaultPlanCallCount(), 0u);
    EXPECT_NE(GetTickCount(), 5u) << "the real clock again";
    HKEY again = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Gone", 0, KEY_READ, &again),
              ERROR_FILE_NOT_FOUND)
        << "no planned failure, and the tree reloaded from the prefix";
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(HandleOpenCount(), openBefore) << "nothing left open";
}

// The POSIX calls under the file functions fail through the layer's own errno mapping, and a
// failed call leaves no handle behind.
TEST_F(FaultPlanTest, PlannedErrnoReachesFileFunctionsAsWindowsCodes) {
    size_t openBefore = HandleOpenCount();
    HANDLE file = CreateFileA("C:\\seam.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char data[16] = "fifteen bytes..";
    DWORD moved = 99;

    FaultPlanFailEveryCall(PosixCall::Write, ENOSPC);
    EXPECT_FALSE(WriteFile(file, data, sizeof(data), &moved, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(moved, 0u);

    FaultPlanFailEveryCall(PosixCall::Fsync, EIO);
    EXPECT_FALSE(FlushFileBuffers(file));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_DEVICE);

    FaultPlanClear();
    ASSERT_TRUE(WriteFile(file, data, sizeof(data), &moved, nullptr));
    ASSERT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
    FaultPlanFailNthPosixCall(1, EIO);
    EXPECT_FALSE(ReadFile(file, data, sizeof(data), &moved, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_DEVICE);
    EXPECT_TRUE(ReadFile(file, data, sizeof(data), &moved, nullptr)) << "only once";
    EXPECT_EQ(moved, sizeof(data));
    EXPECT_EQ(FaultPlanCallCountOf(PosixCall::Read), 2u);
    EXPECT_EQ(FaultPlanCallCountOf(LayerCall::ReadFile), 2u) << "the tables count apart";
    EXPECT_TRUE(CloseHandle(file));

    FaultPlanFailEveryCall(PosixCall::Open, EACCES);
    EXPECT_EQ(CreateFileA("C:\\other.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetFileAttributesA("C:\\other.bin"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(HandleOpenCount(), openBefore);

    LayerResetForTests();
    EXPECT_EQ(FaultPlanPosixCallCount(), 0u);
    EXPECT_TRUE(DeleteFileA("C:\\seam.bin")) << "the reset forgets POSIX failures too";
}

// A folder that cannot be read tells nothing of a name's case: the call fails with the read's
// error instead of taking the name for a new file beside the one that is there.
TEST_F(FaultPlanTest, UnreadableFolderFailsCaseInsensitiveLookups) {
    HANDLE file = CreateFileA("C:\\case.log", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));

    FaultPlanFailEveryCall(PosixCall::Readdir, EIO);
    EXPECT_EQ(CreateFileA("C:\\Case.LOG", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_DEVICE);
    EXPECT_FALSE(DeleteFileA("C:\\CASE.log")) << "no file-not-found taken for success";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_DEVICE);
    FaultPlanClear();
    FaultPlanFailEveryCall(PosixCall::Opendir, EACCES);
    EXPECT_EQ(GetFileAttributesA("C:\\CASE.LOG"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    FaultPlanClear();

    size_t sameNames = 0;
    for (const auto& entry : std::filesystem::directory_iterator(prefix_.DriveC())) {
        sameNames += strcasecmp(entry.path().filename().c_str(), "case.log") == 0 ? 1 : 0;
    }
    EXPECT_EQ(sameNames, 1u);
    EXPECT_TRUE(DeleteFileA("C:\\CASE.LOG"));
}

// A root whose file system cannot be asked is a drive of unknown type, not a missing root.
TEST_F(FaultPlanTest, DriveTypeWhenTheFileSystemCannotBeAsked) {
    EXPECT_NE(GetDriveTypeA("C:\\"), (UINT)DRIVE_UNKNOWN);
    FaultPlanFailEveryCall(PosixCall::Statfs, EIO);
    EXPECT_EQ(GetDriveTypeA("C:\\"), (UINT)DRIVE_UNKNOWN);
    FaultPlanFailEveryCall(PosixCall::Statfs, ENOENT);
    EXPECT_EQ(GetDriveTypeA("C:\\"), (UINT)DRIVE_NO_ROOT_DIR) << "gone since it was mapped";
    EXPECT_EQ(FaultPlanCallCountOf(PosixCall::Statfs), 3u);
}

} // namespace
