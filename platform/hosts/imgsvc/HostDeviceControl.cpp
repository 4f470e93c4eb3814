#include "HostDeviceControl.h"

#include "HostLog.h"
#include "sti/StillImageDevices.h"

#include <cstring>

namespace imgsvc {

HRESULT STDMETHODCALLTYPE HostDeviceControl::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE HostDeviceControl::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE HostDeviceControl::GetLastError(LPDWORD lastError) {
    if (lastError == nullptr) return E_INVALIDARG;
    *lastError = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDeviceControl::GetMyDevicePortName(LPWSTR path, DWORD size) {
    if (path == nullptr || size == 0) return E_INVALIDARG;
    if (portName_.size() + 1 > size) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(path, portName_.c_str(), (portName_.size() + 1) * sizeof(WCHAR));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDeviceControl::GetMyDeviceHandle(LPHANDLE handle) {
    if (handle == nullptr) return E_INVALIDARG;
    *handle = INVALID_HANDLE_VALUE;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE HostDeviceControl::GetMyDeviceOpenMode(LPDWORD mode) {
    if (mode == nullptr) return E_INVALIDARG;
    *mode = openMode_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE HostDeviceControl::WriteToErrorLog(DWORD type, LPCWSTR message, DWORD error) {
    if (message == nullptr) return E_INVALIDARG;
    HostLog("driver log " + std::to_string(type) + " (" + std::to_string(error) + "): " +
            platform::sti::Narrow(message));
    return S_OK;
}

}  // namespace imgsvc
