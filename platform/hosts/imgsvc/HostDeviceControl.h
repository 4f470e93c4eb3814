// The service's IStiDeviceControl handed to a driver instance: its port
// name, its open mode and the service's error log.
#pragma once

#include <stiusd.h>

#include <atomic>
#include <string>

namespace imgsvc {

class HostDeviceControl final : public IStiDeviceControl {
public:
    HostDeviceControl(std::wstring portName, DWORD openMode) : portName_(std::move(portName)), openMode_(openMode) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Initialize(DWORD, DWORD, LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawDeviceControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD lastError) override;
    HRESULT STDMETHODCALLTYPE GetMyDevicePortName(LPWSTR path, DWORD size) override;
    HRESULT STDMETHODCALLTYPE GetMyDeviceHandle(LPHANDLE handle) override;
    HRESULT STDMETHODCALLTYPE GetMyDeviceOpenMode(LPDWORD mode) override;
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD type, LPCWSTR message, DWORD error) override;

private:
    ~HostDeviceControl() = default;
    std::atomic<ULONG> references_{1};
    std::wstring portName_;
    DWORD openMode_;
};

}  // namespace imgsvc
