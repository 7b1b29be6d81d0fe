// Security identifiers: the well-known ones by their names, and SIDs from their string form.
// Declared as <winnt.h>, <winbase.h> and <sddl.h> declare them.
#pragma once

#include "Platform/Posix/advapi32/EventLog.h"
#include "Platform/Posix/common/Win32Types.h"

typedef enum _SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
    SidTypeLogonSession
} SID_NAME_USE,
    *PSID_NAME_USE;

extern "C" {
BOOL WINAPI LookupAccountSidA(LPCSTR lpSystemName, PSID Sid, LPSTR Name, LPDWORD cchName,
                              LPSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                              PSID_NAME_USE peUse);
BOOL WINAPI ConvertStringSidToSidA(LPCSTR StringSid, PSID* Sid);
BOOL WINAPI IsValidSid(PSID pSid);
DWORD WINAPI GetLengthSid(PSID pSid);
}
