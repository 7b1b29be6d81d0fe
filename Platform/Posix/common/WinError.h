// Win32 error codes the layer returns, with Windows' own values and the English text that
// FormatMessageA(FROM_SYSTEM) gives for each: one list, so that a code cannot be added without
// its text. Texts keep Windows' wording and the trailing "\r\n"; a text with an insert keeps its
// "%1" as Windows' message table has it. Sorted by code.
#pragma once

#include "Platform/Posix/common/Win32Types.h"

#define PALLWICK_WIN32_ERRORS(X)                                                                   \
    X(ERROR_SUCCESS, 0, "The operation completed successfully.\r\n")                               \
    X(ERROR_INVALID_FUNCTION, 1, "Incorrect function.\r\n")                                        \
    X(ERROR_FILE_NOT_FOUND, 2, "The system cannot find the file specified.\r\n")                   \
    X(ERROR_PATH_NOT_FOUND, 3, "The system cannot find the path specified.\r\n")                   \
    X(ERROR_TOO_MANY_OPEN_FILES, 4, "The system cannot open the file.\r\n")                        \
    X(ERROR_ACCESS_DENIED, 5, "Access is denied.\r\n")                                             \
    X(ERROR_INVALID_HANDLE, 6, "The handle is invalid.\r\n")                                       \
    X(ERROR_NOT_ENOUGH_MEMORY, 8,                                                                  \
      "Not enough memory resources are available to process this command.\r\n")                    \
    X(ERROR_INVALID_DATA, 13, "The data is invalid.\r\n")                                          \
    X(ERROR_OUTOFMEMORY, 14,                                                                       \
      "Not enough memory resources are available to complete this operation.\r\n")                 \
    X(ERROR_INVALID_DRIVE, 15, "The system cannot find the drive specified.\r\n")                  \
    X(ERROR_NOT_SAME_DEVICE, 17, "The system cannot move the file to a different disk drive.\r\n") \
    X(ERROR_NO_MORE_FILES, 18, "There are no more files.\r\n")                                     \
    X(ERROR_WRITE_PROTECT, 19, "The media is write protected.\r\n")                                \
    X(ERROR_NOT_READY, 21, "The device is not ready.\r\n")                                         \
    X(ERROR_GEN_FAILURE, 31, "A device attached to the system is not functioning.\r\n")            \
    X(ERROR_SHARING_VIOLATION, 32,                                                                 \
      "The process cannot access the file because it is being used by another process.\r\n")       \
    X(ERROR_LOCK_VIOLATION, 33,                                                                    \
      "The process cannot access the file because another process has locked a portion of the "    \
      "file.\r\n")                                                                                 \
    X(ERROR_HANDLE_EOF, 38, "Reached the end of the file.\r\n")                                    \
    X(ERROR_NOT_SUPPORTED, 50, "The request is not supported.\r\n")                                \
    X(ERROR_BAD_NETPATH, 53, "The network path was not found.\r\n")                                \
    X(ERROR_FILE_EXISTS, 80, "The file exists.\r\n")                                               \
    X(ERROR_INVALID_PARAMETER, 87, "The parameter is incorrect.\r\n")                              \
    X(ERROR_BROKEN_PIPE, 109, "The pipe has been ended.\r\n")                                      \
    X(ERROR_BUFFER_OVERFLOW, 111, "The file name is too long.\r\n")                                \
    X(ERROR_DISK_FULL, 112, "There is not enough space on the disk.\r\n")                          \
    X(ERROR_CALL_NOT_IMPLEMENTED, 120, "This function is not supported on this system.\r\n")       \
    X(ERROR_INSUFFICIENT_BUFFER, 122, "The data area passed to a system call is too small.\r\n")   \
    X(ERROR_INVALID_NAME, 123,                                                                     \
      "The filename, directory name, or volume label syntax is incorrect.\r\n")                    \
    X(ERROR_INVALID_LEVEL, 124, "The system call level is not correct.\r\n")                       \
    X(ERROR_MOD_NOT_FOUND, 126, "The specified module could not be found.\r\n")                    \
    X(ERROR_NEGATIVE_SEEK, 131,                                                                    \
      "An attempt was made to move the file pointer before the beginning of the file.\r\n")        \
    X(ERROR_SEEK_ON_DEVICE, 132,                                                                   \
      "The file pointer cannot be set on the specified device or file.\r\n")                       \
    X(ERROR_DIR_NOT_EMPTY, 145, "The directory is not empty.\r\n")                                 \
    X(ERROR_BAD_PATHNAME, 161, "The specified path is invalid.\r\n")                               \
    X(ERROR_BUSY, 170, "The requested resource is in use.\r\n")                                    \
    X(ERROR_ALREADY_EXISTS, 183, "Cannot create a file when that file already exists.\r\n")        \
    X(ERROR_BAD_EXE_FORMAT, 193, "%1 is not a valid Win32 application.\r\n")                       \
    X(ERROR_ENVVAR_NOT_FOUND, 203,                                                                 \
      "The system could not find the environment option that was entered.\r\n")                    \
    X(ERROR_FILENAME_EXCED_RANGE, 206, "The filename or extension is too long.\r\n")               \
    X(ERROR_MORE_DATA, 234, "More data is available.\r\n")                                         \
    X(ERROR_NO_MORE_ITEMS, 259, "No more data is available.\r\n")                                  \
    X(ERROR_DIRECTORY, 267, "The directory name is invalid.\r\n")                                  \
    X(ERROR_MR_MID_NOT_FOUND, 317,                                                                 \
      "The system cannot find message text for message number 0x%1 in the message file for "       \
      "%2.\r\n")                                                                                   \
    X(ERROR_INVALID_ADDRESS, 487, "Attempt to access invalid address.\r\n")                        \
    X(ERROR_NOACCESS, 998, "Invalid access to memory location.\r\n")                               \
    X(ERROR_INVALID_FLAGS, 1004, "Invalid flags.\r\n")                                             \
    X(ERROR_FILE_INVALID, 1006,                                                                    \
      "The volume for a file has been externally altered so that the opened file is no longer "    \
      "valid.\r\n")                                                                                \
    X(ERROR_BADKEY, 1010, "The configuration registry key is invalid.\r\n")                        \
    X(ERROR_CANTOPEN, 1011, "The configuration registry key could not be opened.\r\n")             \
    X(ERROR_CANTREAD, 1012, "The configuration registry key could not be read.\r\n")               \
    X(ERROR_CANTWRITE, 1013, "The configuration registry key could not be written.\r\n")           \
    X(ERROR_KEY_DELETED, 1018,                                                                     \
      "Illegal operation attempted on a registry key that has been marked for deletion.\r\n")      \
    X(ERROR_SERVICE_DOES_NOT_EXIST, 1060,                                                          \
      "The specified service does not exist as an installed service.\r\n")                         \
    X(ERROR_SERVICE_MARKED_FOR_DELETE, 1072,                                                       \
      "The specified service has been marked for deletion.\r\n")                                   \
    X(ERROR_SERVICE_EXISTS, 1073, "The specified service already exists.\r\n")                     \
    X(ERROR_SERVICE_NEVER_STARTED, 1077, "The service has not been started.\r\n")                  \
    X(ERROR_IO_DEVICE, 1117,                                                                       \
      "The request could not be performed because of an I/O device error.\r\n")                    \
    X(ERROR_CANCELLED, 1223, "The operation was canceled by the user.\r\n")                        \
    X(ERROR_NONE_MAPPED, 1332, "No mapping between account names and security IDs was done.\r\n")  \
    X(ERROR_INVALID_SID, 1337, "The security ID structure is invalid.\r\n")                        \
    X(ERROR_EVENTLOG_FILE_CORRUPT, 1500, "The event log file is corrupted.\r\n")                   \
    X(ERROR_LOG_FILE_FULL, 1502, "The event log file is full.\r\n")                                \
    X(ERROR_EVENTLOG_FILE_CHANGED, 1503,                                                           \
      "The event log file has changed between read operations.\r\n")                               \
    X(RPC_S_SERVER_UNAVAILABLE, 1722, "The RPC server is unavailable.\r\n")                        \
    X(ERROR_RESOURCE_DATA_NOT_FOUND, 1812,                                                         \
      "The specified image file did not contain a resource section.\r\n")                          \
    X(ERROR_RESOURCE_TYPE_NOT_FOUND, 1813,                                                         \
      "The specified resource type cannot be found in the image file.\r\n")                        \
    X(ERROR_RESOURCE_NAME_NOT_FOUND, 1814,                                                         \
      "The specified resource name cannot be found in the image file.\r\n")                        \
    X(ERROR_RESOURCE_LANG_NOT_FOUND, 1815,                                                         \
      "The specified resource language ID cannot be found in the image file.\r\n")                 \
    X(ERROR_CANT_RESOLVE_FILENAME, 1921,                                                           \
      "The name of the file cannot be resolved by the system.\r\n")                                \
    X(ERROR_MUI_FILE_NOT_FOUND, 15100, "The resource loader failed to find MUI file.\r\n")

// Plain int constants, as the literals of <winerror.h> are: they compare with DWORD and LONG
// results alike and return as LSTATUS (on Linux a `L` suffix would make them 64-bit).
#define PALLWICK_DEFINE_WIN32_ERROR(name, code, text) constexpr int name = code;
PALLWICK_WIN32_ERRORS(PALLWICK_DEFINE_WIN32_ERROR)
#undef PALLWICK_DEFINE_WIN32_ERROR

constexpr int NO_ERROR = ERROR_SUCCESS;

typedef LONG HRESULT;
#define S_OK (static_cast<HRESULT>(0))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057))
// <strsafe.h>'s code for a text cut short to fit its buffer.
#define STRSAFE_E_INSUFFICIENT_BUFFER (static_cast<HRESULT>(0x8007007A))
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
