// Sleep and the clocks: monotonic milliseconds (with the test offset), the
// 10 MHz performance counter and the system time as a FILETIME.
#include "core/Controls.h"

#include <mmsystem.h>
#include <winbase.h>

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

uint64_t MonotonicNs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t TickMs() { return MonotonicNs() / 1000000ull + static_cast<uint64_t>(ClockOffsetMs()); }

constexpr uint64_t kFileTimeEpochOffset = 11644473600ull;  // seconds from 1601 to 1970

}  // namespace
}  // namespace platform

WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        ::sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) ::pause();
    }
    struct timespec until;
    ::clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += dwMilliseconds / 1000;
    until.tv_nsec += static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

WINBASEAPI DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(platform::TickMs()); }

WINBASEAPI ULONGLONG WINAPI GetTickCount64(void) { return platform::TickMs(); }

WINBASEAPI DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(platform::TickMs()); }

WINBASEAPI BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    if (platform::FailNow("QueryPerformanceFrequency")) return FALSE;
    if (lpFrequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpFrequency->QuadPart = 10000000;
    return TRUE;
}

WINBASEAPI BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    if (platform::FailNow("QueryPerformanceCounter")) return FALSE;
    if (lpPerformanceCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lpPerformanceCount->QuadPart = static_cast<LONGLONG>(platform::MonotonicNs() / 100);
    return TRUE;
}

WINBASEAPI void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
    if (lpSystemTimeAsFileTime == nullptr) return;
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    const uint64_t ticks = (static_cast<uint64_t>(ts.tv_sec) + platform::kFileTimeEpochOffset) * 10000000ull +
                           static_cast<uint64_t>(ts.tv_nsec) / 100;
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}
