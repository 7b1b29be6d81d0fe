#include "Platform/Posix/kernel32/Errors.h"

namespace {

// Constant-initialised, so it is valid even before the shared object's static initialisers run.
thread_local DWORD t_lastError = ERROR_SUCCESS;

} // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

} // extern "C"
