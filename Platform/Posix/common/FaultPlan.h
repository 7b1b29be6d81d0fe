// The one fault seam of the layer, as a system-call table is for a database engine: every
// fallible entry point asks the plan first, by its own name, before it does anything else (but
// clear the counts it hands back, and find the service that a service call's hook is told of).
// The plan counts every call, and can fail the k-th call of all or every call of one function
// with a chosen Win32 error; the function then fails as it would with that error (its failure
// value, the error as its last error or its LSTATUS) and does nothing else. The calls the layer
// makes of itself count too (the manager reads its services through the registry functions).
// Functions that only release (CloseHandle, RegCloseKey, CloseServiceHandle, FreeLibrary,
// PdhRemoveCounter, PdhCloseQuery, LocalFree) are no rows and never fail here: a failed release
// leaks, which no caller can mend.
// Below the files, folders and drives, the POSIX calls a Win32 call makes on what it names ask the
// same plan through thin wrappers (PosixCalls.h, which lists the few left raw), so that a full
// disk or an I/O error reaches the Win32 functions through their own errno mapping. They count
// apart from the Win32 calls, so that the k-th Win32 call stays the k-th however many POSIX calls
// the ones before it made. Allocations count apart too (below), for the same reason.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// The areas of the layer, each with the error its functions give when their memory runs out:
// PDH answers in its own status codes, the registry as its functions report a tree that cannot
// grow, everything else with ERROR_NOT_ENOUGH_MEMORY.
#define PALLWICK_FAULT_AREAS(X)                                                                    \
    X(Files, ERROR_NOT_ENOUGH_MEMORY)                                                              \
    X(Environment, ERROR_NOT_ENOUGH_MEMORY)                                                        \
    X(Modules, ERROR_NOT_ENOUGH_MEMORY)                                                            \
    X(Messages, ERROR_NOT_ENOUGH_MEMORY)                                                           \
    X(Memory, ERROR_NOT_ENOUGH_MEMORY)                                                             \
    X(Shell, ERROR_NOT_ENOUGH_MEMORY)                                                              \
    X(Version, ERROR_NOT_ENOUGH_MEMORY)                                                            \
    X(Registry, ERROR_OUTOFMEMORY)                                                                 \
    X(Services, ERROR_NOT_ENOUGH_MEMORY)                                                           \
    X(EventLog, ERROR_NOT_ENOUGH_MEMORY)                                                           \
    X(Accounts, ERROR_NOT_ENOUGH_MEMORY)                                                           \
    X(Pdh, PDH_MEMORY_ALLOCATION_FAILURE)

#define PALLWICK_FAULT_AREA_ENUMERATOR(name, outOfMemory) name,
enum class FaultArea : unsigned { PALLWICK_FAULT_AREAS(PALLWICK_FAULT_AREA_ENUMERATOR) Count };
#undef PALLWICK_FAULT_AREA_ENUMERATOR

// One row per function that can fail: its name, its area, and the error Windows gives when that
// call fails on a machine at work, which a sweep fails it with: files are not found, keys refuse
// to open or vanish under a read, memory runs out, disks fill, a log turns out corrupt. A key
// refused rather than not found keeps the failure apart from an answer of absence.
#define PALLWICK_LAYER_CALLS(X)                                                                    \
    X(CreateFileA, Files, ERROR_FILE_NOT_FOUND)                                                    \
    X(ReadFile, Files, ERROR_IO_DEVICE)                                                            \
    X(WriteFile, Files, ERROR_DISK_FULL)                                                           \
    X(SetFilePointer, Files, ERROR_ACCESS_DENIED)                                                  \
    X(GetFileSize, Files, ERROR_ACCESS_DENIED)                                                     \
    X(FlushFileBuffers, Files, ERROR_DISK_FULL)                                                    \
    X(LockFileEx, Files, ERROR_ACCESS_DENIED)                                                      \
    X(GetFileInformationByHandle, Files, ERROR_ACCESS_DENIED)                                      \
    X(MoveFileA, Files, ERROR_ACCESS_DENIED)                                                       \
    X(DeleteFileA, Files, ERROR_ACCESS_DENIED)                                                     \
    X(GetFullPathNameA, Files, ERROR_ACCESS_DENIED)                                                \
    X(GetFileAttributesA, Files, ERROR_FILE_NOT_FOUND)                                             \
    X(SetFileAttributesA, Files, ERROR_ACCESS_DENIED)                                              \
    X(CreateDirectoryA, Files, ERROR_ACCESS_DENIED)                                                \
    X(RemoveDirectoryA, Files, ERROR_ACCESS_DENIED)                                                \
    X(ExpandEnvironmentStringsA, Environment, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(GetEnvironmentVariableA, Environment, ERROR_ENVVAR_NOT_FOUND)                                \
    X(SetEnvironmentVariableA, Environment, ERROR_ACCESS_DENIED)                                   \
    X(GetModuleFileNameA, Modules, ERROR_ACCESS_DENIED)                                            \
    X(LoadLibraryExA, Modules, ERROR_MOD_NOT_FOUND)                                                \
    X(FormatMessageA, Messages, ERROR_MR_MID_NOT_FOUND)                                            \
    X(LocalAlloc, Memory, ERROR_NOT_ENOUGH_MEMORY)                                                 \
    X(SHCreateDirectoryExA, Shell, ERROR_ACCESS_DENIED)                                            \
    X(GetFileVersionInfoSizeA, Version, ERROR_FILE_NOT_FOUND)                                      \
    X(GetFileVersionInfoA, Version, ERROR_NOT_ENOUGH_MEMORY)                                       \
    X(VerQueryValueA, Version, ERROR_RESOURCE_TYPE_NOT_FOUND)                                      \
    X(RegOpenKeyExA, Registry, ERROR_ACCESS_DENIED)                                                \
    X(RegCreateKeyExA, Registry, ERROR_ACCESS_DENIED)                                              \
    X(RegDeleteKeyA, Registry, ERROR_ACCESS_DENIED)                                                \
    X(RegSetValueExA, Registry, ERROR_ACCESS_DENIED)                                               \
    X(RegDeleteValueA, Registry, ERROR_ACCESS_DENIED)                                              \
    X(RegQueryValueExA, Registry, ERROR_KEY_DELETED)                                               \
    X(RegQueryInfoKeyA, Registry, ERROR_KEY_DELETED)                                               \
    X(RegEnumKeyExA, Registry, ERROR_KEY_DELETED)                                                  \
    X(RegEnumValueA, Registry, ERROR_KEY_DELETED)                                                  \
    X(OpenSCManagerA, Services, ERROR_ACCESS_DENIED)                                               \
    X(OpenServiceA, Services, ERROR_ACCESS_DENIED)                                                 \
    X(EnumServicesStatusExA, Services, ERROR_ACCESS_DENIED)                                        \
    X(QueryServiceConfigA, Services, ERROR_ACCESS_DENIED)                                          \
    X(QueryServiceConfig2A, Services, ERROR_ACCESS_DENIED)                                         \
    X(QueryServiceStatus, Services, ERROR_ACCESS_DENIED)                                           \
    X(CreateServiceA, Services, ERROR_ACCESS_DENIED)                                               \
    X(ChangeServiceConfig2A, Services, ERROR_ACCESS_DENIED)                                        \
    X(DeleteService, Services, ERROR_ACCESS_DENIED)                                                \
    X(OpenEventLogA, EventLog, ERROR_ACCESS_DENIED)                                                \
    X(ReadEventLogA, EventLog, ERROR_EVENTLOG_FILE_CORRUPT)                                        \
    X(GetNumberOfEventLogRecords, EventLog, ERROR_ACCESS_DENIED)                                   \
    X(GetOldestEventLogRecord, EventLog, ERROR_ACCESS_DENIED)                                      \
    X(ClearEventLogA, EventLog, ERROR_ACCESS_DENIED)                                               \
    X(RegisterEventSourceA, EventLog, ERROR_ACCESS_DENIED)                                         \
    X(ReportEventA, EventLog, ERROR_ACCESS_DENIED)                                                 \
    X(LookupAccountSidA, Accounts, ERROR_NONE_MAPPED)                                              \
    X(ConvertStringSidToSidA, Accounts, ERROR_ACCESS_DENIED)                                       \
    X(PdhOpenQueryA, Pdh, PDH_MEMORY_ALLOCATION_FAILURE)                                           \
    X(PdhAddCounterA, Pdh, PDH_CSTATUS_NO_COUNTER)                                                 \
    X(PdhCollectQueryData, Pdh, PDH_NO_DATA)                                                       \
    X(PdhGetFormattedCounterValue, Pdh, PDH_INVALID_DATA)                                          \
    X(PdhExpandCounterPathA, Pdh, PDH_MEMORY_ALLOCATION_FAILURE)                                   \
    X(PdhParseCounterPathA, Pdh, PDH_MEMORY_ALLOCATION_FAILURE)

#define PALLWICK_LAYER_CALL_ENUMERATOR(name, area, error) name,
enum class LayerCall : unsigned { PALLWICK_LAYER_CALLS(PALLWICK_LAYER_CALL_ENUMERATOR) Count };
#undef PALLWICK_LAYER_CALL_ENUMERATOR

// The POSIX calls under files, folders and drives, named as their functions, each with the errno
// it fails with at work: a device that fails a transfer, and a sleep that a signal cuts short.
// close/closedir are releases and never fail here, as CloseHandle.
#define PALLWICK_POSIX_CALLS(X)                                                                    \
    X(Open, EIO)                                                                                   \
    X(Read, EIO)                                                                                   \
    X(Pread, EIO)                                                                                  \
    X(Write, EIO)                                                                                  \
    X(Pwrite, EIO)                                                                                 \
    X(Lseek, EIO)                                                                                  \
    X(Fsync, EIO)                                                                                  \
    X(Ftruncate, EIO)                                                                              \
    X(Rename, EIO)                                                                                 \
    X(Renameat2, EIO)                                                                              \
    X(Link, EIO)                                                                                   \
    X(Unlink, EIO)                                                                                 \
    X(Mkdir, EIO)                                                                                  \
    X(Rmdir, EIO)                                                                                  \
    X(Stat, EIO)                                                                                   \
    X(Lstat, EIO)                                                                                  \
    X(Fstat, EIO)                                                                                  \
    X(Statfs, EIO)                                                                                 \
    X(Chmod, EIO)                                                                                  \
    X(Fchmod, EIO)                                                                                 \
    X(Opendir, EIO)                                                                                \
    X(Readdir, EIO)                                                                                \
    X(Nanosleep, EINTR)

#define PALLWICK_POSIX_CALL_ENUMERATOR(name, err) name,
enum class PosixCall : unsigned { PALLWICK_POSIX_CALLS(PALLWICK_POSIX_CALL_ENUMERATOR) Count };
#undef PALLWICK_POSIX_CALL_ENUMERATOR

// What the rows say of a call.
const char* FaultAreaName(FaultArea area);
const char* LayerCallName(LayerCall call);
FaultArea LayerCallArea(LayerCall call);
DWORD LayerCallErrorAtWork(LayerCall call);
// The error the call gives when its memory runs out: its area's.
DWORD LayerCallOutOfMemoryError(LayerCall call);
const char* PosixCallName(PosixCall call);

// Counts the call and says how it goes: ERROR_SUCCESS to go on, else the error to fail with.
// name is the object the call is about where a hook may want it (a service's name), else null.
// Never called under a lock of the layer, so that a hook may call the layer itself.
DWORD FaultCheck(LayerCall call, const char* name = nullptr);

// FaultCheck for a function that reports by its last error: false, with the error set as the last
// error, when the plan fails the call.
bool FaultAllows(LayerCall call);

// Counts a POSIX call and says how it goes: 0 to go on, else the errno to fail with. No hook
// decides here, so it may be asked under the layer's locks.
int PosixFaultCheck(PosixCall call);

// PosixFaultCheck for a wrapper: false, with errno set, when the plan fails the call.
bool PosixFaultAllows(PosixCall call);

// Every block the layer takes asks here first (LayerMemory.h), and so, through the hook that the
// Linux tests point here, does every block of the agents and the common runtime
// (Common/Allocation.h): false, with errno ENOMEM, for a block of so many bytes that the plan
// refuses. Allocations count apart from the calls, as SQLite's fault simulation counts them, so
// that a test can fail the k-th allocation of a run, or every one from the k-th on. Never
// consults a hook, so it may be asked under any lock.
bool AllocationAllowed(size_t bytes);

// The standard containers of the layer allocate through operator new, which only a test binary
// can route here (tests/support/AllocationSeam.cpp): inside a call that guards its containers
// (LayerMemory.h), ContainerAllocationAllowed is AllocationAllowed; elsewhere, say in the test
// harness between two calls, it allows every allocation uncounted.
bool ContainerAllocationAllowed(size_t bytes);
class ContainerAllocationScope {
  public:
    ContainerAllocationScope();
    ~ContainerAllocationScope();
    ContainerAllocationScope(const ContainerAllocationScope&) = delete;
    ContainerAllocationScope& operator=(const ContainerAllocationScope&) = delete;
};

// ---- for tests ----

// Fails the k-th call from now on (1 for the next one), counting every function, once.
void FaultPlanFailNthCall(unsigned long long k, DWORD error);

// As FaultPlanFailNthCall, with the error its row gives the call that turns out to be k-th.
void FaultPlanFailNthCallAtWork(unsigned long long k);

// Fails every call of one function until the plan is cleared.
void FaultPlanFailEveryCall(LayerCall call, DWORD error);

// Calls counted since the last clear: of every function, or of one.
unsigned long long FaultPlanCallCount();
unsigned long long FaultPlanCallCountOf(LayerCall call);

// The call the plan failed last since the last clear, or LayerCall::Count.
LayerCall FaultPlanLastFailedCall();

// The same for the POSIX calls, which fail with an errno (ENOSPC, EIO, EACCES ...) and count
// among themselves: the k-th POSIX call from now on (with a chosen errno, or its row's), every
// call of one, the calls counted.
void FaultPlanFailNthPosixCall(unsigned long long k, int err);
void FaultPlanFailNthPosixCallAtWork(unsigned long long k);
void FaultPlanFailEveryCall(PosixCall call, int err);
unsigned long long FaultPlanPosixCallCount();
unsigned long long FaultPlanCallCountOf(PosixCall call);

// Refuses the k-th allocation from now on (1 for the next one); with andEveryLater, every one
// after it too, as memory that stays short. With a least size, only blocks of at least so many
// bytes count towards k and are refused: a large block that cannot be had, where small ones can.
void FaultPlanFailNthAllocation(unsigned long long k, bool andEveryLater = false,
                                size_t leastBytes = 0);
// Allocations counted, and refused, since the last clear.
unsigned long long FaultPlanAllocationCount();
unsigned long long FaultPlanAllocationsRefused();

// A hook decides for the calls of one area, after the plan's own failures: a test fails a call
// only until some moment, say, or changes the machine between two calls (grows a value, deletes a
// service just before it is opened, starts a process). It is told the call and the object the
// call is about where the call names one (a service's name), else null.
typedef DWORD (*FaultAreaHook)(LayerCall call, const char* name, void* context);
void FaultPlanSetAreaHook(FaultArea area, FaultAreaHook hook, void* context);

// Forgets every failure planned (of calls, POSIX calls and allocations), every hook and every
// count.
void FaultPlanClear();
