// IStiDevice of a client process: each call is one request to the service
// host, where the device's driver instance of this client performs it.
#pragma once

#include "sti/ServiceConnection.h"

#include <sti.h>

#include <atomic>
#include <memory>
#include <string>

namespace platform::sti {

class StiDeviceProxy final : public IStiDevice {
public:
    // Opens the device in the host; nullptr with *result when it fails.
    static StiDeviceProxy* Open(const std::wstring& internalName, DWORD mode, HRESULT* result);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, LPCWSTR, DWORD, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetCapabilities(PSTI_DEV_CAPS caps) override;
    HRESULT STDMETHODCALLTYPE GetStatus(PSTI_DEVICE_STATUS status) override;
    HRESULT STDMETHODCALLTYPE DeviceReset() override;
    HRESULT STDMETHODCALLTYPE Diagnostic(LPSTI_DIAG diag) override;
    HRESULT STDMETHODCALLTYPE Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                     LPDWORD returned) override;
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD lastError) override;
    HRESULT STDMETHODCALLTYPE LockDevice(DWORD timeout) override;
    HRESULT STDMETHODCALLTYPE UnLockDevice() override;
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID buffer, LPDWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID buffer, DWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID ioBlock, LPDWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID ioBlock, DWORD length, LPOVERLAPPED overlapped) override;
    HRESULT STDMETHODCALLTYPE Subscribe(LPSTISUBSCRIBE) override;
    HRESULT STDMETHODCALLTYPE GetLastNotificationData(LPSTINOTIFY) override;
    HRESULT STDMETHODCALLTYPE UnSubscribe() override;
    HRESULT STDMETHODCALLTYPE GetLastErrorInfo(STI_ERROR_INFO* info) override;

private:
    StiDeviceProxy() = default;
    ~StiDeviceProxy() = default;
    // Sends the request; the reply's result, with `reader` positioned after it.
    HRESULT Call(const Writer& request, std::vector<uint8_t>* reply, std::unique_ptr<Reader>* reader);

    std::atomic<ULONG> references_{1};
    ServiceConnection connection_;
};

}  // namespace platform::sti
