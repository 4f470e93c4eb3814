// Identity, creation and destruction of the device object.
#include "VarnixWiaDevice.h"

#include "DriverLog.h"
#include "ModuleState.h"

VarnixWiaDevice::VarnixWiaDevice(IUnknown* outer) {
    controlling_ = outer != nullptr ? outer : NonDelegatingIdentity();
    InitializeCriticalSection(&deviceSection_);
    module_state::ObjectCreated();
}

// Threads first (they use the library and the handles), then the library,
// then the handles. Only what this object took is given back.
VarnixWiaDevice::~VarnixWiaDevice() {
    // Both threads are joined before anything they use goes.
    StopListener();
    listenerStop_.Close();
    pendingEvent_ = GUID{};
    prefeed_.Stop();
    if (suspendLockThread_ != nullptr) {
        SetEvent(suspendLockRelease_);
        WaitForSingleObject(suspendLockThread_, INFINITE);
        CloseHandle(suspendLockThread_);
        CloseHandle(suspendLockTaken_);
        CloseHandle(suspendLockRelease_);
        suspendLockThread_ = nullptr;
    }
    if (libraryOpen_ && library_.CloseInterface) library_.CloseInterface();
    libraryOpen_ = false;
    library_.UnloadScannerLibrary();
    DestroyDriverItemTree();
    if (stiDevice_ != nullptr) stiDevice_->Release();
    stiDevice_ = nullptr;
    FreeCapabilities();

    if (eventsKey_ != nullptr) RegCloseKey(eventsKey_);
    eventsKey_ = nullptr;
    notificationHandle_ = nullptr;
    if (deviceHandle_ != INVALID_HANDLE_VALUE) CloseHandle(deviceHandle_);
    deviceHandle_ = INVALID_HANDLE_VALUE;
    if (deviceKey_ != nullptr) RegCloseKey(deviceKey_);
    deviceKey_ = nullptr;
    if (deviceControl_ != nullptr) deviceControl_->Release();
    deviceControl_ = nullptr;
    stiLock_.Close();

    if (logOpened_) CloseLog();
    presenceMutex_.Close();
    DeleteCriticalSection(&deviceSection_);
    abortEvent_.Close();
    scanLock_.Close();
    module_state::ObjectDestroyed();
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = NonDelegatingIdentity();
        NonDelegatingAddRef();
    } else if (IsEqualIID(riid, IID_IStiUSD)) {
        *ppv = static_cast<IStiUSD*>(this);
        static_cast<IStiUSD*>(this)->AddRef();
    } else if (IsEqualIID(riid, IID_IWiaMiniDrv)) {
        *ppv = static_cast<IWiaMiniDrv*>(this);
        static_cast<IWiaMiniDrv*>(this)->AddRef();
    } else {
        return E_NOINTERFACE;
    }
    return S_OK;
}

ULONG STDMETHODCALLTYPE VarnixWiaDevice::NonDelegatingAddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE VarnixWiaDevice::NonDelegatingRelease() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (controlling_ == nullptr) return E_NOINTERFACE;
    return controlling_->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE VarnixWiaDevice::AddRef() { return controlling_ ? controlling_->AddRef() : 0; }

ULONG STDMETHODCALLTYPE VarnixWiaDevice::Release() { return controlling_ ? controlling_->Release() : 0; }
