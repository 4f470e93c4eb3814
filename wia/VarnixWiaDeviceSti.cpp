// The Still Image face of the device object: initialisation for one
// scanner, capabilities, status, reset, diagnostic, escapes, the device lock
// and raw data and register blocks over the usbscan device file.
#include "DriverLog.h"
#include "TextConversion.h"
#include "VarnixWiaDevice.h"

#include <SIInterface.h>

#include <usbscan.h>
#include <windows.h>

#include <cstring>

namespace {

constexpr HRESULT kNotReady = HRESULT_FROM_WIN32(ERROR_NOT_READY);     // 0x80070015
constexpr HRESULT kLockTimeout = HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);  // 0x80070021
constexpr HRESULT kNoEvent = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);  // 0x80070103
constexpr DWORD kIoTimeoutMs = 20000;
constexpr DWORD kLockTimeoutMs = 3000;
constexpr char kStiLockName[] = "VARNIXSTIU_MUTEX";
constexpr char kPresenceName[] = "RM310";
constexpr char kDirectModel[] = "RM310__";
constexpr DWORD kEscapeCalibrate = 0x1001;
constexpr DWORD kEscapePaperStatus = 0x1002;

HRESULT FromWin32(DWORD error) { return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu)); }

// An unnamed manual-reset event for one I/O, closed with the object.
class IoEvent {
public:
    IoEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~IoEvent() {
        if (handle_) CloseHandle(handle_);
    }
    IoEvent(const IoEvent&) = delete;
    IoEvent& operator=(const IoEvent&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

void VarnixWiaDevice::SetLastDeviceError(DWORD error) {
    EnterCriticalSection(&deviceSection_);
    lastDeviceError_ = error;
    LeaveCriticalSection(&deviceSection_);
}

// One I/O on the device file, completed before returning: without a caller's
// overlapped block the call gets one of its own. A request still pending
// after the time-out is cancelled, and the cancellation waited for, before
// E_FAIL is returned, so nothing writes the block or the buffer afterwards.
template <typename Issue>
HRESULT VarnixWiaDevice::CompleteIo(Issue issue, LPOVERLAPPED callerOverlapped, DWORD* transferred) {
    if (deviceHandle_ == INVALID_HANDLE_VALUE) return kNotReady;
    IoEvent ownEvent;
    OVERLAPPED own{};
    LPOVERLAPPED overlapped = callerOverlapped;
    if (overlapped == nullptr) {
        if (ownEvent.Get() == nullptr) return E_FAIL;
        own.hEvent = ownEvent.Get();
        overlapped = &own;
    }
    SetLastDeviceError(0);
    DWORD count = 0;
    if (issue(overlapped, &count)) {
        if (transferred) *transferred = count;
        return S_OK;
    }
    const DWORD error = ::GetLastError();
    SetLastDeviceError(error);
    if (error != ERROR_IO_PENDING) return FromWin32(error);
    if (WaitForSingleObject(overlapped->hEvent, kIoTimeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(deviceHandle_, overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(deviceHandle_, overlapped, &ignored, TRUE);
        return E_FAIL;
    }
    if (!GetOverlappedResult(deviceHandle_, overlapped, &count, FALSE)) {
        const DWORD failure = ::GetLastError();
        SetLastDeviceError(failure);
        return FromWin32(failure);
    }
    ResetEvent(overlapped->hEvent);
    if (transferred) *transferred = count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::Initialize(PSTIDEVICECONTROL control, DWORD, HKEY deviceKey) {
    logOpened_ = OpenLog(control);
    if (!listenerStop_.CreateSharedEvent(false)) return FromWin32(::GetLastError());
    if (control == nullptr) return E_INVALIDARG;
    if (deviceControl_ == nullptr) {
        deviceControl_ = control;
        deviceControl_->AddRef();
    }
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
    if (!OSObject::BuildSharedSecurity(&descriptor, &attributes)) return E_FAIL;
    if (!stiLock_.CreateSharedMutex(kStiLockName)) {
        const DWORD error = ::GetLastError();
        SetLastDeviceError(error);
        return FromWin32(error);
    }
    if (!scanLock_.CreateSharedMutex(nullptr) || !presenceMutex_.CreateSharedMutex(kPresenceName) ||
        !abortEvent_.CreateSharedEvent(false)) {
        return E_FAIL;
    }
    OpenDevice();

    WCHAR port[MAX_PATH] = {};
    HRESULT result = deviceControl_->GetMyDevicePortName(port, MAX_PATH);
    if (FAILED(result)) return result;
    port[MAX_PATH - 1] = L'\0';
    if (port[0] == L'\0') return kNotReady;

    DWORD mode = 0;
    deviceControl_->GetMyDeviceOpenMode(&mode);
    if (mode & STI_DEVICE_CREATE_FOR_MONITOR) {
        if (!library_.LoadScannerLibrary(deviceKey)) return kNotReady;
        if (library_.OpenInterface(kDirectModel) != SI_OK) {
            library_.UnloadScannerLibrary();
            return kNotReady;
        }
        libraryOpen_ = true;
    }

    if (deviceKey != nullptr) ReadEventsFromRegistry(deviceKey, &events_);
    if (deviceKey != nullptr && eventsKey_ == nullptr) RegOpenKeyExA(deviceKey, "Events", 0, KEY_READ, &eventsKey_);
    if (deviceKey != nullptr && deviceKey_ == nullptr) RegOpenKeyExA(deviceKey, nullptr, 0, KEY_READ, &deviceKey_);
    CheckOsVersion();
    if (mode & STI_DEVICE_CREATE_FOR_MONITOR) {
        if (!prefeed_.Start(deviceKey_, &access_, scanLock_.Handle()) || !StartListener()) return E_FAIL;
    }
    initialized_ = true;
    return result;
}

HRESULT VarnixWiaDevice::OpenDevice() {
    if (deviceControl_ == nullptr) return kNotReady;
    WCHAR port[MAX_PATH] = {};
    const HRESULT result = deviceControl_->GetMyDevicePortName(port, MAX_PATH);
    if (FAILED(result)) return result;
    port[MAX_PATH - 1] = L'\0';
    if (port[0] == L'\0') return kNotReady;
    const std::string path = WideToAnsi(port);
    if (path.empty()) return E_INVALIDARG;
    devicePath_ = path;
    if (deviceHandle_ != INVALID_HANDLE_VALUE) CloseHandle(deviceHandle_);
    deviceHandle_ = CreateFileA(devicePath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (deviceHandle_ == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        SetLastDeviceError(error);
        return FromWin32(error);
    }
    return S_OK;
}

void VarnixWiaDevice::CheckOsVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    wiaVersion_ = 1;
    if (!GetVersionExA(&version)) return;
    if (version.dwMajorVersion >= 6) {
        osGeneration_ = 5;
        wiaVersion_ = 2;
    } else if (version.dwMajorVersion == 5) {
        osGeneration_ = version.dwMinorVersion == 0 ? 3 : 4;
    } else if (version.dwMajorVersion == 4) {
        if (version.dwMinorVersion == 10) osGeneration_ = 1;
        if (version.dwMinorVersion == 90) osGeneration_ = 2;
    }
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::GetCapabilities(PSTI_USD_CAPS caps) {
    if (caps == nullptr) return E_INVALIDARG;
    caps->dwVersion = 0x01000003;
    caps->dwGenericCaps = STI_GENCAP_NOTIFICATIONS | STI_GENCAP_WIA;
    return S_OK;
}

bool VarnixWiaDevice::BindLibraryForCall() {
    openedForCall_ = false;
    if (!library_.LoadScannerLibrary(deviceKey_)) return false;
    const SIResult opened = library_.OpenInterface(kDirectModel);
    if (opened == SI_OK) {
        openedForCall_ = true;
        return true;
    }
    if (opened == SI_ERR_ALREADY_OPEN) return true;
    library_.UnloadScannerLibrary();
    return false;
}

void VarnixWiaDevice::ReleaseLibraryForCall() {
    if (openedForCall_ && library_.CloseInterface) library_.CloseInterface();
    openedForCall_ = false;
    library_.UnloadScannerLibrary();
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::GetStatus(PSTI_DEVICE_STATUS status) {
    if (status == nullptr) return E_INVALIDARG;
    LibraryAccess::Guard serialised(access_);
    bool boundHere = false;
    status->dwOnlineState = 0;
    if (status->StatusMask & STI_DEVSTATUS_ONLINE_STATE) {
        if (!library_.IsBound()) {
            if (!BindLibraryForCall()) {
                status->dwOnlineState = STI_ONLINESTATE_OFFLINE;
                return S_OK;
            }
            boundHere = true;
        }
        int scanner = 0;
        if (library_.GetScannerStatus(&scanner) != SI_OK) {
            status->dwOnlineState = STI_ONLINESTATE_OFFLINE;
        } else if (scanner == SI_SCANNER_READY) {
            status->dwOnlineState = STI_ONLINESTATE_OPERATIONAL;
        } else if (scanner == SI_SCANNER_BUSY) {
            status->dwOnlineState = STI_ONLINESTATE_BUSY;
        } else {
            status->dwOnlineState = STI_ONLINESTATE_OFFLINE;
        }
    }
    status->dwEventHandlingState = 0;
    if (status->StatusMask & STI_DEVSTATUS_EVENTS_STATE) {
        const GUID none{};
        if (!IsEqualGUID(pendingEvent_, none)) status->dwEventHandlingState |= STI_EVENTHANDLING_PENDING;
        if (notificationHandle_ != nullptr) status->dwEventHandlingState |= STI_EVENTHANDLING_ENABLED;
    }
    if (boundHere) ReleaseLibraryForCall();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::DeviceReset() {
    LibraryAccess::Guard serialised(access_);
    HRESULT result = kNotReady;
    if (library_.IsBound()) {
        const SIResult reset = library_.Reset();
        result = reset == SI_OK ? S_OK : reset == SI_ERR_NOT_OPEN ? kNotReady : E_FAIL;
    }
    if (deviceHandle_ != INVALID_HANDLE_VALUE) {
        DWORD pipe = ALL_PIPE;
        DWORD returned = 0;
        result = Escape(IOCTL_RESET_PIPE, &pipe, sizeof pipe, nullptr, 0, &returned);
    }
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::Diagnostic(LPSTI_DIAG diag) {
    if (diag == nullptr) return E_INVALIDARG;
    LibraryAccess::Guard serialised(access_);
    std::memset(&diag->sErrorInfo, 0, sizeof diag->sErrorInfo);
    diag->dwStatusMask = 0;
    bool boundHere = false;
    if (!library_.IsBound()) {
        if (!BindLibraryForCall()) return kNotReady;
        boundHere = true;
    }
    int word = 0;
    const SIResult checked = library_.Diagnostic(SI_DIAG_DEVICE_CHECK, &word);
    HRESULT result = S_OK;
    if (checked != SI_OK) {
        SetLastDeviceError(static_cast<DWORD>(E_FAIL));
        GetLastErrorInfo(&diag->sErrorInfo);
        result = checked == SI_ERR_NOT_OPEN ? kNotReady : E_FAIL;
    } else {
        SetLastDeviceError(0);
        GetLastErrorInfo(&diag->sErrorInfo);
        diag->sErrorInfo.dwVendorError = static_cast<DWORD>(word);
    }
    if (boundHere) ReleaseLibraryForCall();
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out,
                                                  DWORD outSize, LPDWORD returned) {
    if (code == kEscapeCalibrate || code == kEscapePaperStatus) {
        // The library is driven by the listener and the prefeed thread too.
        LibraryAccess::Guard serialised(access_);
        return LibraryEscape(code, out, outSize, returned);
    }
    if (returned == nullptr) return E_INVALIDARG;
    *returned = 0;
    return CompleteIo(
        [&](LPOVERLAPPED overlapped, DWORD* count) {
            return DeviceIoControl(deviceHandle_, code, in, inSize, out, outSize, count, overlapped);
        },
        nullptr, returned);
}

HRESULT VarnixWiaDevice::LibraryEscape(STI_RAW_CONTROL_CODE code, LPVOID out, DWORD outSize, LPDWORD returned) {
    if (code == kEscapeCalibrate) {
        if (!library_.IsBound()) return kNotReady;
        const SIResult calibrated = library_.Calibrate(0, nullptr);
        // A calibration that found the white reference only is a success.
        return calibrated == SI_OK || calibrated == SI_CALIBRATED_WHITE_ONLY ? S_OK : E_FAIL;
    }
    if (code == kEscapePaperStatus) {
        if (out == nullptr || outSize == 0 || returned == nullptr) return E_INVALIDARG;
        if (!library_.IsBound()) return kNotReady;
        int present = 0;
        if (library_.GetPaperStatus(&present) != SI_OK) return E_FAIL;
        *static_cast<BYTE*>(out) = present == SI_PAPER_PRESENT ? 1 : 0;
        *returned = 1;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::GetLastError(LPDWORD lastError) {
    if (lastError == nullptr) return E_INVALIDARG;
    EnterCriticalSection(&deviceSection_);
    *lastError = lastDeviceError_;
    LeaveCriticalSection(&deviceSection_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::LockDevice() {
    if (stiLock_.Handle() == nullptr) return kNotReady;
    switch (WaitForSingleObject(stiLock_.Handle(), kLockTimeoutMs)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED: return S_OK;
        case WAIT_TIMEOUT: SetLastDeviceError(static_cast<DWORD>(kLockTimeout)); return kLockTimeout;
        default: {
            const DWORD error = ::GetLastError();
            SetLastDeviceError(error);
            return FromWin32(error);
        }
    }
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::UnLockDevice() {
    if (stiLock_.Handle() == nullptr) return kNotReady;
    if (!ReleaseMutex(stiLock_.Handle())) {
        SetLastDeviceError(::GetLastError());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::RawReadData(LPVOID buffer, LPDWORD length, LPOVERLAPPED overlapped) {
    if (length == nullptr) return E_INVALIDARG;
    const DWORD asked = *length;
    DWORD count = 0;
    const HRESULT result = CompleteIo(
        [&](LPOVERLAPPED o, DWORD* n) { return ReadFile(deviceHandle_, buffer, asked, n, o); }, overlapped, &count);
    if (SUCCEEDED(result)) *length = count;
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::RawWriteData(LPVOID buffer, DWORD length, LPOVERLAPPED overlapped) {
    return CompleteIo([&](LPOVERLAPPED o, DWORD* n) { return WriteFile(deviceHandle_, buffer, length, n, o); },
                      overlapped, nullptr);
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::RawReadCommand(LPVOID ioBlock, LPDWORD length, LPOVERLAPPED overlapped) {
    if (ioBlock == nullptr) return E_INVALIDARG;
    auto* block = static_cast<IO_BLOCK*>(ioBlock);
    DWORD count = 0;
    const HRESULT result = CompleteIo(
        [&](LPOVERLAPPED o, DWORD* n) {
            return DeviceIoControl(deviceHandle_, IOCTL_READ_REGISTERS, block, sizeof(IO_BLOCK), block->pbyData,
                                   block->uLength, n, o);
        },
        overlapped, &count);
    if (SUCCEEDED(result) && length != nullptr) *length = count;
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::RawWriteCommand(LPVOID ioBlock, DWORD, LPOVERLAPPED overlapped) {
    if (ioBlock == nullptr) return E_INVALIDARG;
    auto* block = static_cast<IO_BLOCK*>(ioBlock);
    return CompleteIo(
        [&](LPOVERLAPPED o, DWORD* n) {
            return DeviceIoControl(deviceHandle_, IOCTL_WRITE_REGISTERS, block, sizeof(IO_BLOCK), nullptr, 0, n, o);
        },
        overlapped, nullptr);
}

// An event the listener raised before the service gave its handle is
// still pending: the new handle is signalled for it at once, so it is
// fetched rather than lost.
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::SetNotificationHandle(HANDLE event) {
    EnterCriticalSection(&deviceSection_);
    notificationHandle_ = event == INVALID_HANDLE_VALUE ? nullptr : event;
    const bool pending = !IsEqualGUID(pendingEvent_, GUID{});
    if (pending && notificationHandle_ != nullptr) SetEvent(notificationHandle_);
    LeaveCriticalSection(&deviceSection_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::GetNotificationData(LPSTINOTIFY notify) {
    if (notify == nullptr) return E_INVALIDARG;
    EnterCriticalSection(&deviceSection_);
    const GUID none{};
    const bool pending = !IsEqualGUID(pendingEvent_, none);
    if (pending) {
        std::memset(notify->abNotificationData, 0, sizeof notify->abNotificationData);
        notify->guidNotificationCode = pendingEvent_;
        notify->dwSize = sizeof(STINOTIFY);
        pendingEvent_ = none;
    }
    LeaveCriticalSection(&deviceSection_);
    return pending ? S_OK : kNoEvent;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::GetLastErrorInfo(STI_ERROR_INFO* info) {
    if (info == nullptr) return E_INVALIDARG;
    // The library lock before the device section, as everywhere.
    LibraryAccess::Guard serialised(access_);
    EnterCriticalSection(&deviceSection_);
    info->dwGenericError = lastDeviceError_;
    info->dwVendorError = 0;
    info->szExtendedErrorText[0] = L'\0';
    if (library_.IsBound()) {
        info->dwVendorError = library_.GetLastError();
        const char* text = nullptr;
        library_.GetLastErrorText(&text);
        if (text != nullptr) {
            const std::wstring wide = AnsiToWide(text);
            const size_t n = wide.size() < 254 ? wide.size() : 254;
            std::memcpy(info->szExtendedErrorText, wide.data(), n * sizeof(WCHAR));
            info->szExtendedErrorText[n] = L'\0';
        }
    }
    LeaveCriticalSection(&deviceSection_);
    return S_OK;
}
