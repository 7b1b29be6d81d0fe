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
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
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

// Each row names the error its call fails with on a machine at work: the k-th call fails with
// the error of the row it turns out to be, in the way that function reports failure.
TEST_F(FaultPlanTest, TheKthCallFailsWithTheErrorOfItsRow) {
    FaultPlanFailNthCallAtWork(2);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FaultPlanLastFailedCall(), LayerCall::LocalAlloc);
    HLOCAL allocated = LocalAlloc(LMEM_FIXED, 8);
    EXPECT_NE(allocated, nullptr) << "the plan was spent on the second call";
    LocalFree(allocated);

    FaultPlanFailNthCallAtWork(1);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    FaultPlanFailNthCallAtWork(1);
    PDH_HQUERY query = nullptr;
    EXPECT_EQ(PdhOpenQueryA(nullptr, 0, &query), (PDH_STATUS)PDH_MEMORY_ALLOCATION_FAILURE);
    EXPECT_EQ(query, nullptr);
    FaultPlanFailNthCallAtWork(1);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
}

// Releases are no rows: a planned failure passes them by for the next call that can fail, and
// what they release is released, whatever memory is left.
TEST_F(FaultPlanTest, ReleasesAreNeverFailedNorCounted) {
    size_t open = HandleOpenCount();
    PDH_HQUERY query = nullptr;
    ASSERT_EQ(PdhOpenQueryA(nullptr, 0, &query), ERROR_SUCCESS);
    PDH_HCOUNTER counter = nullptr;
    ASSERT_EQ(PdhAddCounterA(query, "\\Memory\\Available Bytes", 0, &counter), ERROR_SUCCESS);
    HLOCAL block = LocalAlloc(LMEM_FIXED, 8);
    ASSERT_NE(block, nullptr);
    FaultPlanClear();
    FaultPlanFailNthCall(1, ERROR_ACCESS_DENIED);
    FaultPlanFailNthAllocation(1, true);
    EXPECT_EQ(PdhRemoveCounter(counter), ERROR_SUCCESS);
    EXPECT_EQ(PdhCloseQuery(query), ERROR_SUCCESS);
    EXPECT_EQ(LocalFree(block), nullptr);
    EXPECT_EQ(FaultPlanCallCount(), 0u);
    EXPECT_EQ(HandleOpenCount(), open);
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES) << "the plan waited for it";
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

DWORD HearAndRefuse(LayerCall call, const char*, void* context) {
    static_cast<std::vector<LayerCall>*>(context)->push_back(call);
    return ERROR_ENVVAR_NOT_FOUND;
}

// A hook decides for the calls of its own area, and hears no other.
TEST_F(FaultPlanTest, AnAreaHookDecidesForItsAreaOnly) {
    std::vector<LayerCall> heard;
    FaultPlanSetAreaHook(FaultArea::Environment, HearAndRefuse, &heard);
    char value[16];
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableA("PATH", value, sizeof value), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);
    EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(heard, std::vector<LayerCall>{LayerCall::GetEnvironmentVariableA});
}

// Allocations count apart from the calls: the k-th is refused once, or with every one after it,
// and the call that wanted the block fails as short of memory.
TEST_F(FaultPlanTest, TheKthAllocationIsRefusedOnceOrForGood) {
    FaultPlanFailNthAllocation(1);
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    HLOCAL block = LocalAlloc(LMEM_ZEROINIT, 8);
    EXPECT_NE(block, nullptr) << "only once";
    LocalFree(block);
    EXPECT_EQ(FaultPlanAllocationCount(), 2u);

    FaultPlanFailNthAllocation(2, true);
    block = LocalAlloc(LMEM_FIXED, 8);
    EXPECT_NE(block, nullptr);
    LocalFree(block);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr);
    EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr) << "memory stays short";
    EXPECT_EQ(FaultPlanAllocationsRefused(), 3u);
    FaultPlanClear();
    EXPECT_EQ(FaultPlanAllocationCount(), 0u);
}

// An event log's key, naming its file, with one source; null when it cannot be made.
HKEY EventLogKey(const std::string& log, const char* source, const char* file) {
    HKEY key = nullptr;
    HKEY sourceKey = nullptr;
    std::string path = "System\\CurrentControlSet\\Services\\EventLog\\" + log;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS ||
        RegSetValueExA(key, "File", 0, REG_SZ, reinterpret_cast<const BYTE*>(file),
                       static_cast<DWORD>(strlen(file) + 1)) != ERROR_SUCCESS ||
        RegCreateKeyExA(key, source, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sourceKey, nullptr) !=
            ERROR_SUCCESS) {
        RegCloseKey(key);
        return nullptr;
    }
    RegCloseKey(sourceKey);
    return key;
}

// One call that builds standard containers, and what it may answer.
struct MemoryCase {
    const char* name;
    std::function<DWORD()> call; // ERROR_SUCCESS, or the error the call gave
    std::vector<DWORD> outOfMemory;
};

// Each allocation of a call that builds standard containers, refused in turn (the binary's
// operator new asks the plan inside such calls): the call succeeds or fails with the error
// Windows gives when memory runs out, never throws, and leaves no handle open.
TEST_F(FaultPlanTest, EveryAllocationOfACallFailsItAsShortOfMemory) {
    HKEY key = EventLogKey("Seam", "Seam", "C:\\Seam.evt");
    ASSERT_NE(key, nullptr);
    // A name longer than a short string holds, so that the registry allocates to look it up.
    const char* kLongName = "A value of a longer name";
    ASSERT_EQ(RegSetValueExA(key, kLongName, 0, REG_SZ, reinterpret_cast<const BYTE*>("text"), 5),
              ERROR_SUCCESS);
    HANDLE source = RegisterEventSourceA(nullptr, "Seam");
    ASSERT_NE(source, nullptr);
    HMODULE messages = LoadLibraryExA(PALLWICK_MESSAGE_FIXTURES "\\EventMessages.dll", nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(messages, nullptr);
    auto lastError = [](bool done) { return done ? (DWORD)ERROR_SUCCESS : GetLastError(); };
    const std::vector<DWORD> kernel = {ERROR_NOT_ENOUGH_MEMORY};
    const std::vector<DWORD> registry = {ERROR_OUTOFMEMORY, ERROR_NOT_ENOUGH_MEMORY};
    const std::vector<DWORD> pdh = {(DWORD)PDH_MEMORY_ALLOCATION_FAILURE};
    const MemoryCase cases[] = {
        {"FormatMessageA of the system",
         [&] {
             char* buffer = nullptr;
             DWORD length = FormatMessageA(
                 FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
             LocalFree(buffer);
             return lastError(length != 0);
         },
         kernel},
        {"FormatMessageA of a module, with inserts",
         [&] {
             char buffer[512];
             DWORD_PTR inserts[] = {(DWORD_PTR) "one", (DWORD_PTR) "two", (DWORD_PTR) "three"};
             DWORD length = FormatMessageA(
                 FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, 1000, 0,
                 buffer, sizeof buffer, reinterpret_cast<va_list*>(inserts));
             return lastError(length != 0);
         },
         kernel},
        {"ReportEventA",
         [&] {
             const char* strings[] = {"first", "second"};
             return lastError(ReportEventA(source, EVENTLOG_WARNING_TYPE, 1, 7, nullptr, 2, 0,
                                           strings, nullptr));
         },
         kernel},
        {"ReadEventLogA",
         [&] {
             HANDLE log = OpenEventLogA(nullptr, "Seam");
             BYTE buffer[4096];
             DWORD read = 0, needed = 0;
             BOOL done = log != nullptr &&
                         ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                                       buffer, sizeof buffer, &read, &needed);
             DWORD error = lastError(done);
             CloseEventLog(log);
             return error;
         },
         // Opening the log reads its configuration from the registry.
         registry},
        {"RegQueryValueExA",
         [&] {
             char value[16];
             DWORD size = sizeof value;
             return (DWORD)RegQueryValueExA(key, kLongName, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(value), &size);
         },
         registry},
        {"PdhExpandCounterPathA",
         [&] {
             char list[4096];
             DWORD size = sizeof list;
             return (DWORD)PdhExpandCounterPathA("\\Processor(*)\\% Processor Time", list, &size);
         },
         pdh},
        {"PdhParseCounterPathA",
         [&] {
             BYTE buffer[1024];
             DWORD size = sizeof buffer;
             return (DWORD)PdhParseCounterPathA(
                 "\\\\host\\Process(parent/java#2)\\ID Process",
                 reinterpret_cast<PPDH_COUNTER_PATH_ELEMENTS_A>(buffer), &size, 0);
         },
         pdh},
        {"PdhAddCounterA and PdhCollectQueryData",
         [&] {
             PDH_HQUERY query = nullptr;
             PDH_HCOUNTER counter = nullptr;
             PDH_STATUS status = PdhOpenQueryA(nullptr, 0, &query);
             if (status == ERROR_SUCCESS) {
                 status = PdhAddCounterA(query, "\\Processor(_Total)\\% Idle Time", 0, &counter);
             }
             if (status == ERROR_SUCCESS) {
                 status = PdhCollectQueryData(query);
             }
             PdhCloseQuery(query);
             return (DWORD)status;
         },
         pdh},
    };
    size_t open = HandleOpenCount();
    for (const MemoryCase& c : cases) {
        FaultPlanClear();
        ASSERT_EQ(c.call(), (DWORD)ERROR_SUCCESS) << c.name;
        unsigned long long allocations = FaultPlanAllocationCount();
        EXPECT_GT(allocations, 0u) << c.name;
        for (unsigned long long k = 1; k <= allocations; ++k) {
            FaultPlanClear();
            FaultPlanFailNthAllocation(k);
            DWORD error = c.call();
            EXPECT_TRUE(error == ERROR_SUCCESS ||
                        std::find(c.outOfMemory.begin(), c.outOfMemory.end(), error) !=
                            c.outOfMemory.end())
                << c.name << ", allocation " << k << " of " << allocations << ": " << error;
            EXPECT_EQ(HandleOpenCount(), open) << c.name << ", allocation " << k;
        }
    }
    FaultPlanClear();
    FreeLibrary(messages);
    DeregisterEventSource(source);
    RegCloseKey(key);
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

// The event log finds a log and its file in the registry: a read that fails there fails the
// open with that error, where it used to open the Application log, or the log at its default
// file, as if the name were unknown.
TEST_F(FaultPlanTest, ARegistryFailureUnderTheEventLogFailsTheOpen) {
    RegCloseKey(EventLogKey("Planned", "PlannedSource", "C:\\Planned.evt"));
    for (LayerCall failing :
         {LayerCall::RegQueryInfoKeyA, LayerCall::RegQueryValueExA, LayerCall::RegEnumKeyExA}) {
        FaultPlanClear();
        FaultPlanFailEveryCall(failing, ERROR_KEY_DELETED);
        SetLastError(0);
        HANDLE opened = failing == LayerCall::RegEnumKeyExA
                            ? RegisterEventSourceA(nullptr, "PlannedSource")
                            : OpenEventLogA(nullptr, "Planned");
        EXPECT_EQ(opened, nullptr) << LayerCallName(failing);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_KEY_DELETED) << LayerCallName(failing);
        CloseEventLog(opened);
    }
    FaultPlanClear();
    HANDLE opened = OpenEventLogA(nullptr, "Planned");
    EXPECT_NE(opened, nullptr);
    CloseEventLog(opened);
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
