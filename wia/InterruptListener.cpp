// The monitor instance's interrupt listener: waits on the device for
// interrupt data, has the library decode it, raises the events the registry
// declares, wakes the prefeed thread on paper insertion and aborts a running
// transfer when the button is pressed during it.
#include "VarnixWiaDevice.h"

#include <SIInterface.h>

#include <objbase.h>
#include <process.h>
#include <usbscan.h>

#include <cstring>

namespace {

constexpr unsigned kListenerStack = 2048;
constexpr DWORD kSuspendedPaceMs = 1000;
constexpr DWORD kSuspendedRetryMs = 200;
// A wait request refused at once is asked again after this pause, so a
// device that fails every request doesn't make the thread spin.
constexpr DWORD kRefusedRetryMs = 100;

enum WaitCode { kNothing = 0, kData = 1, kStop = 2, kEnd = 3, kRefused = 4, kSuspendedRetry = 5 };

}  // namespace

bool VarnixWiaDevice::StartListener() {
    if (listenerThread_ != nullptr) return true;
    unsigned id = 0;
    listenerThread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, kListenerStack, &ListenerEntry, this, 0, &id));
    return listenerThread_ != nullptr;
}

// Signals stop and joins: the listener cancels its own pending wait and
// waits for the cancellation before it returns.
void VarnixWiaDevice::StopListener() {
    if (listenerThread_ == nullptr) return;
    SetEvent(listenerStop_.Handle());
    WaitForSingleObject(listenerThread_, INFINITE);
    CloseHandle(listenerThread_);
    listenerThread_ = nullptr;
}

unsigned __stdcall VarnixWiaDevice::ListenerEntry(void* self) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<VarnixWiaDevice*>(self)->ListenForInterrupts();
    CoUninitialize();
    return 0;
}

int VarnixWiaDevice::WaitForDriverEvent(OVERLAPPED* overlapped) {
    DWORD count = 0;
    if (!DeviceIoControl(deviceHandle_, IOCTL_WAIT_ON_DEVICE_EVENT, nullptr, 0, interruptBuffer_,
                         sizeof interruptBuffer_, &count, overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return kRefused;
    }
    const HANDLE handles[2] = {listenerStop_.Handle(), overlapped->hEvent};
    const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 + 1) {
        // Stop or a failed wait: the request must not complete into this
        // block or buffer after the thread has left.
        CancelIoEx(deviceHandle_, overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(deviceHandle_, overlapped, &ignored, TRUE);
        ResetEvent(overlapped->hEvent);
        return woke == WAIT_OBJECT_0 ? kStop : kEnd;
    }
    if (GetOverlappedResult(deviceHandle_, overlapped, &count, TRUE)) {
        const DWORD kept = count < sizeof interrupt_.data ? count : sizeof interrupt_.data;
        std::memset(&interrupt_, 0, sizeof interrupt_);
        std::memcpy(interrupt_.data, interruptBuffer_, kept < sizeof interruptBuffer_ ? kept : sizeof interruptBuffer_);
        interrupt_.count = static_cast<uint8_t>(kept);
        return kData;
    }
    switch (::GetLastError()) {
        case ERROR_GEN_FAILURE: return kNothing;
        case ERROR_INVALID_PARAMETER:
        case ERROR_IO_DEVICE: return kStop;
        case ERROR_OPERATION_ABORTED:
            if (suspended_) return kSuspendedRetry;
            return disconnected_ ? kStop : kEnd;
        case ERROR_DEVICE_NOT_CONNECTED: return suspended_ ? kSuspendedRetry : kStop;
        default: return kEnd;
    }
}

void VarnixWiaDevice::ListenForInterrupts() {
    if (deviceHandle_ == INVALID_HANDLE_VALUE) return;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return;
    for (bool running = true; running;) {
        int code = kNothing;
        if (suspended_) {
            code = WaitForSingleObject(listenerStop_.Handle(), kSuspendedPaceMs) == WAIT_TIMEOUT ? kNothing : kStop;
        } else {
            code = WaitForDriverEvent(&overlapped);
        }
        switch (code) {
            case kNothing: break;
            case kRefused:
                if (WaitForSingleObject(listenerStop_.Handle(), kRefusedRetryMs) != WAIT_TIMEOUT) running = false;
                break;
            case kData: {
                // While suspended the library is closed: nothing is decoded.
                const GUID event = suspended_ ? GUID{} : DecodeInterruptEvent();
                // An interrupt that raises nothing (a button release) leaves
                // an event not fetched yet in place.
                EnterCriticalSection(&deviceSection_);
                if (!IsEqualGUID(event, GUID_NULL)) pendingEvent_ = event;
                const HANDLE notify = notificationHandle_;
                LeaveCriticalSection(&deviceSection_);
                if (!IsEqualGUID(event, GUID_NULL) && notify != nullptr) SetEvent(notify);
                ResetEvent(overlapped.hEvent);
                break;
            }
            case kStop: running = false; break;
            case kEnd: running = false; break;
            case kSuspendedRetry: Sleep(kSuspendedRetryMs); break;
            default: running = false; break;
        }
    }
    CloseHandle(overlapped.hEvent);
}

GUID VarnixWiaDevice::DecodeInterruptEvent() {
    SIEvent record = interrupt_;
    if (access_.With([&](ScannerLibrary& l) { return l.GetEvent(&record); }) != SI_OK) return GUID{};
    const bool button = (record.events & SI_EVENT_SCAN_BUTTON) != 0;
    const bool paperIn = (record.events & SI_EVENT_PAPER_IN) != 0;
    if (button) {
        // A transfer holds the scan lock: the button aborts it and raises
        // nothing.
        const DWORD probe = WaitForSingleObject(scanLock_.Handle(), 0);
        if (probe == WAIT_TIMEOUT) {
            SetEvent(abortEvent_.Handle());
            return GUID{};
        }
        if (probe == WAIT_OBJECT_0 || probe == WAIT_ABANDONED) ReleaseMutex(scanLock_.Handle());
    }
    GUID found{};
    for (const RegistryEvent& event : events_) {
        if ((paperIn && event.name == "PaperIn") || (button && event.name == "ScanButton")) {
            found = event.guid;
            break;
        }
    }
    if (paperIn) prefeed_.Trigger();
    return found;
}
