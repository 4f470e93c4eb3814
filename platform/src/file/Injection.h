// Failure injection at the entry of the I/O functions.
#pragma once

#include "core/Controls.h"

#include <windows.h>

namespace platform {

// True when `function` must fail now; the injected error is then the last error.
inline bool Injected(const char* function) {
    DWORD error = 0;
    if (!ShouldFail(function, &error)) return false;
    SetLastError(error);
    return true;
}

// The injected error of `function` (for functions that return their error), or 0.
inline DWORD InjectedError(const char* function) {
    DWORD error = 0;
    return ShouldFail(function, &error) ? error : 0;
}

}  // namespace platform
