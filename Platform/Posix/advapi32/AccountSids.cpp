#include "Platform/Posix/advapi32/AccountSids.h"

#include "Platform/Posix/common/Failures.h"

BOOL WINAPI LookupAccountSidA(LPCSTR, PSID, LPSTR, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI ConvertStringSidToSidA(LPCSTR, PSID*) {
    return FailWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI IsValidSid(PSID) {
    return FALSE;
}

DWORD WINAPI GetLengthSid(PSID) {
    return 0;
}
