// An installed device served in the calling process: its driver created by
// class identifier, initialised for the event monitor with a device control
// of the service's kind, and the service's side over it.
#include "sti/StillImageDevices.h"

#include <platform/wia_service.h>

#include <objbase.h>
#include <windows.h>

#include <atomic>

namespace platform::wia {
namespace {

class LocalDeviceControl final : public IStiDeviceControl {
public:
    LocalDeviceControl(std::wstring port, DWORD mode) : port_(std::move(port)), mode_(mode) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(DWORD, DWORD, LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawDeviceControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD error) override {
        if (error == nullptr) return E_INVALIDARG;
        *error = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDevicePortName(LPWSTR path, DWORD size) override {
        if (path == nullptr || size <= port_.size()) return E_INVALIDARG;
        std::copy(port_.begin(), port_.end(), path);
        path[port_.size()] = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceHandle(LPHANDLE handle) override {
        if (handle) *handle = INVALID_HANDLE_VALUE;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceOpenMode(LPDWORD mode) override {
        if (mode == nullptr) return E_INVALIDARG;
        *mode = mode_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR, DWORD) override { return S_OK; }

private:
    ~LocalDeviceControl() = default;
    std::atomic<ULONG> references_{1};
    std::wstring port_;
    DWORD mode_;
};

}  // namespace

std::vector<DeviceEntry> ListDevices() {
    std::vector<DeviceEntry> out;
    for (const auto& device : sti::InstalledDevices()) {
        out.push_back(DeviceEntry{device.internalName, device.friendlyName.empty() ? device.deviceDescription
                                                                                   : device.friendlyName,
                                  device.portName});
    }
    return out;
}

HRESULT LocalDevice::Open(size_t index, std::unique_ptr<LocalDevice>* device) {
    if (device == nullptr) return E_INVALIDARG;
    const auto devices = sti::InstalledDevices();
    if (index >= devices.size()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const sti::StillImageDevice& entry = devices[index];
    CLSID clsid{};
    HRESULT result = CLSIDFromString(sti::Widen(entry.usdClass).c_str(), &clsid);
    if (FAILED(result)) return result;
    std::unique_ptr<LocalDevice> local(new LocalDevice);
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD,
                              reinterpret_cast<void**>(&local->driver_));
    if (FAILED(result)) {
        local->driver_ = nullptr;
        return result;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry.driverKeyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    auto* control = new LocalDeviceControl(entry.portName, STI_DEVICE_CREATE_FOR_MONITOR | STI_DEVICE_CREATE_DATA);
    result = local->driver_->Initialize(control, STI_VERSION, key);
    control->Release();
    if (key) RegCloseKey(key);
    if (FAILED(result)) return result;
    local->service_ = std::make_unique<DeviceService>(local->driver_, entry.internalName);
    result = local->service_->Initialize();
    if (FAILED(result)) return result;
    local->monitor_ = std::make_unique<EventMonitor>(local->driver_, entry.internalName);
    *device = std::move(local);
    return S_OK;
}

LocalDevice::~LocalDevice() {
    monitor_.reset();
    service_.reset();
    if (driver_) driver_->Release();
}

}  // namespace platform::wia
