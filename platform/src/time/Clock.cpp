// Sleep and the clocks: monotonic milliseconds (with the test offset), the
// 10 MHz performance counter and the system time as a FILETIME.
#include "core/Controls.h"
#include "time/ProcessClock.h"

#include <mmsystem.h>
#include <winbase.h>

#include <sched.h>
#include <time.h>

namespace platform {
namespace {

uint64_t TickMs() { return ProcessNowNs() / 1000000ull + static_cast<uint64_t>(ClockOffsetMs()); }

constexpr uint64_t kFileTimeEpochOffset = 11644473600ull;  // seconds from 1601 to 1970

}  // namespace
}  // namespace platform

WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds) {
    using namespace platform;
    if (dwMilliseconds == 0) {
        ::sched_yield();
        return;
    }
    // On the process's clock, so that on a virtual one a sleep is a wait
    // that lets device time run on.
    ThreadSlot& slot = CurrentThreadSlot();
    const Deadline deadline = DeadlineAfter(dwMilliseconds);
    for (;;) {
        if (deadline && ProcessNowNs() >= *deadline) return;
        ResetWake(slot);
        Park(slot, deadline);
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
    lpPerformanceCount->QuadPart = static_cast<LONGLONG>(platform::ProcessNowNs() / 100);
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
