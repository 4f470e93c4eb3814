#include "os/OSEventWin.h"

#include "os/OSWait.h"

#include <new>

std::unique_ptr<OSEventInterface> CreateOSEvent() {
    return std::unique_ptr<OSEventInterface>(new (std::nothrow) OSEventWin());
}

OSEventWin::~OSEventWin() { Close(); }

bool OSEventWin::Create(const char* name, bool manualReset) {
    if (handle_) return false;
    handle_ = CreateEventA(security_.Attributes(), manualReset ? TRUE : FALSE, FALSE, name);
    return handle_ != nullptr;
}

void OSEventWin::Close() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

bool OSEventWin::Set() { return handle_ && SetEvent(handle_); }
bool OSEventWin::Reset() { return handle_ && ResetEvent(handle_); }

int OSEventWin::Wait(int ms) {
    if (!handle_) return kWaitNoHandle;
    return MapWaitResult(WaitForSingleObject(handle_, static_cast<DWORD>(ms)), false);
}

int OSEventWin::WaitInfinite() { return Wait(static_cast<int>(INFINITE)); }
