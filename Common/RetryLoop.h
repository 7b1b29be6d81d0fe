// How the file utilities outlast brief interference: another process may hold a file or folder
// for a moment, so an operation is tried again for up to 30 seconds, 5 seconds apart.
#pragma once

#include "Platform/Win32.h"

constexpr DWORD kRetryPeriodMs = 30000;
constexpr DWORD kRetryPauseMs = 5000;

// Calls attempt() until done() holds or the period has passed, pausing after each attempt that
// failed. done() decides once more at the end: the attempt during which the period ran out may
// have been the one that succeeded, and a slow disk must not turn that into a failure.
template <typename Done, typename Attempt> bool RetryUntilDone(Done done, Attempt attempt) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < kRetryPeriodMs;) {
        if (done()) {
            return true;
        }
        if (!attempt()) {
            Sleep(kRetryPauseMs);
        }
    }
    return done();
}
