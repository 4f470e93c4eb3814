// Unnamed events, manual- and auto-reset.
#include "sync/Waitable.h"

#include "core/Controls.h"

#include <winbase.h>

namespace platform {
namespace {

class Event final : public Waitable {
public:
    Event(bool manualReset, bool signalled)
        : Waitable(ObjectKind::Event), manualReset_(manualReset), signalled_(signalled) {}

    bool TryConsume() override {
        if (!signalled_) return false;
        if (!manualReset_) signalled_ = false;
        return true;
    }
    void SetState(bool signalled) {
        std::lock_guard guard(Lock());
        signalled_ = signalled;
        if (signalled) WakeWaiters();
    }

private:
    const bool manualReset_;
    bool signalled_;
};

BOOL SetEventState(const char* function, HANDLE handle, bool signalled) {
    if (FailNow(function)) return FALSE;
    auto event = LookupHandleAs<Event>(handle, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->SetState(signalled);
    return TRUE;
}

}  // namespace
}  // namespace platform

WINBASEAPI HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    if (platform::FailNow("CreateEventA")) return nullptr;
    if (lpName != nullptr) {
        platform::DebugLine("named events are not supported");
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return platform::InsertHandle(std::make_shared<platform::Event>(bManualReset != FALSE, bInitialState != FALSE));
}

WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent) { return platform::SetEventState("SetEvent", hEvent, true); }

WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent) { return platform::SetEventState("ResetEvent", hEvent, false); }
