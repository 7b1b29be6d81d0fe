// The event log functions: the fault plan and the argument checks Windows makes, then the
// handles, the reading and the writing of the units beside this one. What reads or writes a
// log's file builds records and layouts in standard containers: memory that runs out there
// fails the call with ERROR_NOT_ENOUGH_MEMORY.
#include "Platform/Posix/advapi32/EventLog.h"

#include "Platform/Posix/advapi32/AccountSids.h"
#include "Platform/Posix/advapi32/EventLogHandles.h"
#include "Platform/Posix/advapi32/EventLogReading.h"
#include "Platform/Posix/advapi32/EventLogWriting.h"
#include "Platform/Posix/common/Failures.h"
#include "Platform/Posix/common/FaultPlan.h"
#include "Platform/Posix/common/LayerMemory.h"
#include "Platform/Posix/kernel32/Environment.h"

namespace {

bool ReportArgumentsValid(PSID sid, WORD stringCount, LPCSTR* strings, DWORD dataSize,
                          LPVOID data) {
    if (sid != nullptr && !IsValidSid(sid)) {
        FailWith(ERROR_INVALID_SID);
        return false;
    }
    if (stringCount != 0 && strings == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (WORD i = 0; i < stringCount; ++i) {
        if (strings[i] == nullptr) {
            FailWith(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    if (dataSize != 0 && data == nullptr) {
        FailWith(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

// What GetNumberOfEventLogRecords and GetOldestEventLogRecord read.
BOOL ReadLayout(LayerCall call, HANDLE handle, PDWORD result, EvtLayout* layout) {
    if (!FaultAllows(call)) {
        return FALSE;
    }
    if (result == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    ScopedLog log(AcquireLog(handle));
    if (!log.held()) {
        return FALSE;
    }
    DWORD error = GuardMemoryStatus(call, [&] { return ReadLogLayout(log.get(), layout); });
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // namespace

extern "C" {

HANDLE WINAPI OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    if (!FaultAllows(LayerCall::OpenEventLogA)) {
        return nullptr;
    }
    return OpenLog(lpUNCServerName, lpSourceName, false);
}

HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
    if (!FaultAllows(LayerCall::RegisterEventSourceA)) {
        return nullptr;
    }
    return OpenLog(lpUNCServerName, lpSourceName, true);
}

BOOL WINAPI CloseEventLog(HANDLE hEventLog) {
    return CloseLog(hEventLog);
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
    return CloseLog(hEventLog);
}

BOOL WINAPI ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset,
                          LPVOID lpBuffer, DWORD nNumberOfBytesToRead, DWORD* pnBytesRead,
                          DWORD* pnMinNumberOfBytesNeeded) {
    if (!FaultAllows(LayerCall::ReadEventLogA)) {
        return FALSE;
    }
    // Windows refuses a missing buffer, even of no bytes, before it looks at the handle; the
    // counts are written only for a read or a size to ask for.
    if (pnBytesRead == nullptr || pnMinNumberOfBytesNeeded == nullptr || lpBuffer == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held()) {
        return FALSE;
    }
    if (!ReadFlagsValid(dwReadFlags)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    PositionLock position(log.get());
    DWORD error = GuardMemoryStatus(LayerCall::ReadEventLogA, [&] {
        return ReadRecords(log.get(), dwReadFlags, dwRecordOffset, static_cast<BYTE*>(lpBuffer),
                           nNumberOfBytesToRead, pnBytesRead, pnMinNumberOfBytesNeeded);
    });
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords) {
    EvtLayout layout;
    if (!ReadLayout(LayerCall::GetNumberOfEventLogRecords, hEventLog, NumberOfRecords, &layout)) {
        return FALSE;
    }
    *NumberOfRecords = EvtRecordCount(layout);
    return TRUE;
}

BOOL WINAPI GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord) {
    EvtLayout layout;
    if (!ReadLayout(LayerCall::GetOldestEventLogRecord, hEventLog, OldestRecord, &layout)) {
        return FALSE;
    }
    *OldestRecord = layout.oldest;
    return TRUE;
}

BOOL WINAPI ClearEventLogA(HANDLE hEventLog, LPCSTR lpBackupFileName) {
    if (!FaultAllows(LayerCall::ClearEventLogA)) {
        return FALSE;
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held()) {
        return FALSE;
    }
    DWORD error = GuardMemoryStatus(LayerCall::ClearEventLogA,
                                    [&] { return ClearLog(log.get(), lpBackupFileName); });
    if (error == ERROR_SUCCESS) {
        PositionLock position(log.get());
        log.get()->lastRead = 0;
        log.get()->lastReadOffset = 0;
    }
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings,
                         LPVOID lpRawData) {
    if (!FaultAllows(LayerCall::ReportEventA)) {
        return FALSE;
    }
    ScopedLog log(AcquireLog(hEventLog));
    if (!log.held() ||
        !ReportArgumentsValid(lpUserSid, wNumStrings, lpStrings, dwDataSize, lpRawData)) {
        return FALSE;
    }
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerSize = sizeof computer;
    if (!GetComputerNameA(computer, &computerSize)) {
        return FALSE;
    }
    EvtNewRecord parts = {0,
                          0,
                          0,
                          dwEventID,
                          wType,
                          wCategory,
                          log.get()->sourceName,
                          computer,
                          lpUserSid,
                          lpUserSid != nullptr ? GetLengthSid(lpUserSid) : 0,
                          wNumStrings,
                          lpStrings,
                          lpRawData,
                          dwDataSize};
    DWORD error =
        GuardMemoryStatus(LayerCall::ReportEventA, [&] { return AppendToLog(log.get(), parts); });
    return error == ERROR_SUCCESS ? TRUE : FailWith(error);
}

} // extern "C"
