// Wait results shared by every wait of the operating-system layer.
#pragma once

#include <windows.h>

enum OSWaitResult : int {
    kWaitAcquired = 0,   // signalled or acquired (an abandoned mutex counts as acquired)
    kWaitTimeout = -1,
    kWaitNoHandle = -3,
    kWaitFailed = -4,
};

// Maps a WaitForSingleObject answer onto the layer's wait results.
// Only mutexes can be abandoned; for any other object WAIT_ABANDONED is a failure.
constexpr int MapWaitResult(DWORD answer, bool mutex) {
    if (answer == WAIT_OBJECT_0) return kWaitAcquired;
    if (answer == WAIT_ABANDONED && mutex) return kWaitAcquired;
    if (answer == WAIT_TIMEOUT) return kWaitTimeout;
    return kWaitFailed;
}
