#include "Platform/Posix/kernel32/Time.h"

#include "Platform/Posix/common/PosixCalls.h"
#include "Platform/Posix/kernel32/TestClock.h"

#include <atomic>
#include <errno.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace {

// Constant-initialised, so they hold before any static initialiser of the layer has run.
std::atomic<bool> g_virtualClock(false);
std::atomic<DWORD> g_virtualTicks(0);

DWORD MonotonicTicks() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long milliseconds = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                                      static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<DWORD>(milliseconds);
}

// Waits out the whole interval, also when a signal interrupts it.
void SleepFor(DWORD milliseconds) {
    struct timespec remaining;
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (PosixNanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace

void TestClockStart(DWORD startTicks) {
    g_virtualTicks.store(startTicks);
    g_virtualClock.store(true);
}

void TestClockStop() {
    g_virtualClock.store(false);
}

extern "C" {

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    // A leap second (tm_sec 60) does not exist on Windows.
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

DWORD WINAPI GetCurrentThreadId(void) {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

DWORD WINAPI GetTickCount(void) {
    return g_virtualClock.load() ? g_virtualTicks.load() : MonotonicTicks();
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        // Windows never wakes such a sleeper, and neither does the virtual clock.
        for (;;) {
            pause();
        }
    }
    if (dwMilliseconds == 0) {
        // Windows gives up the rest of the time slice.
        sched_yield();
        return;
    }
    if (g_virtualClock.load()) {
        g_virtualTicks.fetch_add(dwMilliseconds);
        return;
    }
    SleepFor(dwMilliseconds);
}

} // extern "C"
