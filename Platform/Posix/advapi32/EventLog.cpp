#include "Platform/Posix/advapi32/EventLog.h"

#include "Platform/Posix/common/Failures.h"

HANDLE WINAPI OpenEventLogA(LPCSTR, LPCSTR) {
    FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}

BOOL WINAPI ReadEventLogA(HANDLE, DWORD, DWORD, LPVOID, DWORD, DWORD*, DWORD*) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI CloseEventLog(HANDLE) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI GetNumberOfEventLogRecords(HANDLE, PDWORD) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI GetOldestEventLogRecord(HANDLE, PDWORD) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI ClearEventLogA(HANDLE, LPCSTR) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

HANDLE WINAPI RegisterEventSourceA(LPCSTR, LPCSTR) {
    FailWith(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
}

BOOL WINAPI ReportEventA(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR*, LPVOID) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI DeregisterEventSource(HANDLE) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}
