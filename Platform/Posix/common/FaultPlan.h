// The one fault seam of the layer, as a system-call table is for a database engine: every
// fallible entry point asks the plan first, by its own name, before it does anything else (but
// clear the counts it hands back, and find the service that a service call's hook is told of).
// The plan counts every call, and can fail the k-th call of all or every call of one function
// with a chosen Win32 error; the function then fails as it would with that error (its failure
// value, the error as its last error or its LSTATUS) and does nothing else. The calls the layer
// makes of itself count too (the manager reads its services through the registry functions).
// Functions that only release (CloseHandle, RegCloseKey, CloseServiceHandle, FreeLibrary) never
// fail here: a failed release leaks, which no caller can mend.
// Below the files, folders and drives, the POSIX calls a Win32 call makes on what it names ask the
// same plan through thin wrappers (PosixCalls.h, which lists the few left raw), so that a full
// disk or an I/O error reaches the Win32 functions through their own errno mapping. They count
// apart from the Win32 calls, so that the k-th Win32 call stays the k-th however many POSIX calls
// the ones before it made.
#pragma once

#include "Platform/Posix/common/LayerInternal.h"

#include "Platform/Posix/common/Win32Types.h"

// The file functions, the registry's, the manager's and PDH's stay in one run each, from
// CreateFileA to RemoveDirectoryA, from RegOpenKeyExA to RegEnumValueA, from OpenSCManagerA to
// DeleteService and from PdhOpenQueryA to PdhParseCounterPathA: a call's area follows from its
// place.
#define PALLWICK_LAYER_CALLS(X)                                                                    \
    X(CreateFileA)                                                                                 \
    X(ReadFile)                                                                                    \
    X(WriteFile)                                                                                   \
    X(SetFilePointer)                                                                              \
    X(GetFileSize)                                                                                 \
    X(FlushFileBuffers)                                                                            \
    X(LockFileEx)                                                                                  \
    X(GetFileInformationByHandle)                                                                  \
    X(MoveFileA)                                                                                   \
    X(DeleteFileA)                                                                                 \
    X(GetFullPathNameA)                                                                            \
    X(GetFileAttributesA)                                                                          \
    X(SetFileAttributesA)                                                                          \
    X(CreateDirectoryA)                                                                            \
    X(RemoveDirectoryA)                                                                            \
    X(ExpandEnvironmentStringsA)                                                                   \
    X(GetEnvironmentVariableA)                                                                     \
    X(SetEnvironmentVariableA)                                                                     \
    X(GetModuleFileNameA)                                                                          \
    X(LoadLibraryExA)                                                                              \
    X(FormatMessageA)                                                                              \
    X(LocalAlloc)                                                                                  \
    X(SHCreateDirectoryExA)                                                                        \
    X(GetFileVersionInfoSizeA)                                                                     \
    X(GetFileVersionInfoA)                                                                         \
    X(VerQueryValueA)                                                                              \
    X(RegOpenKeyExA)                                                                               \
    X(RegCreateKeyExA)                                                                             \
    X(RegDeleteKeyA)                                                                               \
    X(RegSetValueExA)                                                                              \
    X(RegDeleteValueA)                                                                             \
    X(RegQueryValueExA)                                                                            \
    X(RegQueryInfoKeyA)                                                                            \
    X(RegEnumKeyExA)                                                                               \
    X(RegEnumValueA)                                                                               \
    X(OpenSCManagerA)                                                                              \
    X(OpenServiceA)                                                                                \
    X(EnumServicesStatusExA)                                                                       \
    X(QueryServiceConfigA)                                                                         \
    X(QueryServiceConfig2A)                                                                        \
    X(QueryServiceStatus)                                                                          \
    X(CreateServiceA)                                                                              \
    X(ChangeServiceConfig2A)                                                                       \
    X(DeleteService)                                                                               \
    X(OpenEventLogA)                                                                               \
    X(ReadEventLogA)                                                                               \
    X(GetNumberOfEventLogRecords)                                                                  \
    X(GetOldestEventLogRecord)                                                                     \
    X(ClearEventLogA)                                                                              \
    X(RegisterEventSourceA)                                                                        \
    X(ReportEventA)                                                                                \
    X(LookupAccountSidA)                                                                           \
    X(ConvertStringSidToSidA)                                                                      \
    X(PdhOpenQueryA)                                                                               \
    X(PdhAddCounterA)                                                                              \
    X(PdhCollectQueryData)                                                                         \
    X(PdhGetFormattedCounterValue)                                                                 \
    X(PdhRemoveCounter)                                                                            \
    X(PdhCloseQuery)                                                                               \
    X(PdhExpandCounterPathA)                                                                       \
    X(PdhParseCounterPathA)

#define PALLWICK_LAYER_CALL_ENUMERATOR(name) name,
enum class LayerCall : unsigned { PALLWICK_LAYER_CALLS(PALLWICK_LAYER_CALL_ENUMERATOR) Count };
#undef PALLWICK_LAYER_CALL_ENUMERATOR

// The POSIX calls under files, folders and drives, named as their functions.
// close/closedir are releases and never fail here, as CloseHandle.
#define PALLWICK_POSIX_CALLS(X)                                                                    \
    X(Open)                                                                                        \
    X(Read)                                                                                        \
    X(Pread)                                                                                       \
    X(Write)                                                                                       \
    X(Pwrite)                                                                                      \
    X(Lseek)                                                                                       \
    X(Fsync)                                                                                       \
    X(Ftruncate)                                                                                   \
    X(Rename)                                                                                      \
    X(Renameat2)                                                                                   \
    X(Link)                                                                                        \
    X(Unlink)                                                                                      \
    X(Mkdir)                                                                                       \
    X(Rmdir)                                                                                       \
    X(Stat)                                                                                        \
    X(Lstat)                                                                                       \
    X(Fstat)                                                                                       \
    X(Statfs)                                                                                      \
    X(Chmod)                                                                                       \
    X(Fchmod)                                                                                      \
    X(Opendir)                                                                                     \
    X(Readdir)

#define PALLWICK_POSIX_CALL_ENUMERATOR(name) name,
enum class PosixCall : unsigned { PALLWICK_POSIX_CALLS(PALLWICK_POSIX_CALL_ENUMERATOR) Count };
#undef PALLWICK_POSIX_CALL_ENUMERATOR

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

// ---- for tests ----

// Fails the k-th call from now on (1 for the next one), counting every function, once.
void FaultPlanFailNthCall(unsigned long long k, DWORD error);

// As FaultPlanFailNthCall, with the error that call would give: chosen when the k-th call is
// reached, from its function (ERROR_SUCCESS lets that call go, for one that cannot fail so).
typedef DWORD (*FaultErrorChooser)(LayerCall call);
void FaultPlanFailNthCallWith(unsigned long long k, FaultErrorChooser choose);

// Fails every call of one function until the plan is cleared.
void FaultPlanFailEveryCall(LayerCall call, DWORD error);

// Calls counted since the last clear: of every function, or of one.
unsigned long long FaultPlanCallCount();
unsigned long long FaultPlanCallCountOf(LayerCall call);

// The same for the POSIX calls, which fail with an errno (ENOSPC, EIO, EACCES ...) and count
// among themselves: the k-th POSIX call from now on, every call of one, the calls counted.
void FaultPlanFailNthPosixCall(unsigned long long k, int err);
void FaultPlanFailEveryCall(PosixCall call, int err);
unsigned long long FaultPlanPosixCallCount();
unsigned long long FaultPlanCallCountOf(PosixCall call);

// A hook decides for the calls of one area, after the plan's own failures: the registry's and
// the manager's test hooks are such hooks; a test sets the files' own (to fail a call only until
// some moment, say), or PDH's (to start a process between two calls, say).
enum class FaultArea : unsigned { Files, Registry, Services, Pdh, Count };
typedef DWORD (*FaultAreaHook)(LayerCall call, const char* name, void* context);
void FaultPlanSetAreaHook(FaultArea area, FaultAreaHook hook, void* context);

// Forgets every failure planned (of both tables), every hook and every count.
void FaultPlanClear();
