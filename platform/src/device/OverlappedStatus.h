// What OVERLAPPED.Internal holds: STATUS_PENDING while a request runs, then
// 0 for success or the request's error marked as a failure status.
#pragma once

#include <windef.h>

namespace platform {

constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kFailureStatus = 0xC0000000u;

constexpr ULONG_PTR StatusFromError(DWORD error) {
    return error == 0 ? 0 : (kFailureStatus | (error & 0x0FFFFFFFu) | ((error & 0xF0000000u) ? 0x10000000u : 0));
}

constexpr DWORD ErrorFromStatus(ULONG_PTR status) {
    if (status == 0) return 0;
    DWORD error = static_cast<DWORD>(status & 0x0FFFFFFFu);
    // Setup-style errors (0xE...) keep their top nibble.
    return (status & 0x10000000u) ? (error | 0xE0000000u) : error;
}

static_assert(ErrorFromStatus(StatusFromError(995)) == 995);
static_assert(ErrorFromStatus(StatusFromError(0xE0000204u)) == 0xE0000204u);
static_assert(StatusFromError(259) != kStatusPending);

}  // namespace platform
