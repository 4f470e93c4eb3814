#include "DriverInstance.h"

#include "HostDeviceControl.h"
#include "HostLog.h"

#include <objbase.h>
#include <windows.h>

namespace imgsvc {

DriverInstance::~DriverInstance() {
    if (driver_) driver_->Release();
}

HRESULT DriverInstance::Create(const platform::sti::StillImageDevice& device, DWORD openMode) {
    CLSID clsid{};
    const std::wstring text = platform::sti::Widen(device.usdClass);
    HRESULT result = CLSIDFromString(text.c_str(), &clsid);
    if (FAILED(result)) return result;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD, reinterpret_cast<void**>(&driver_));
    if (FAILED(result)) {
        driver_ = nullptr;
        HostLog("cannot create the driver " + device.usdClass + ": " + std::to_string(result));
        return result;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, device.driverKeyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    auto* control = new HostDeviceControl(device.portName, openMode);
    result = driver_->Initialize(control, STI_VERSION, key);
    control->Release();
    if (key) RegCloseKey(key);
    if (FAILED(result)) {
        HostLog("driver initialisation failed: " + std::to_string(result));
        driver_->Release();
        driver_ = nullptr;
    }
    return result;
}

}  // namespace imgsvc
