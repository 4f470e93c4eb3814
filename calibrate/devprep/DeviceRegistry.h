// The device's driver key and one subkey of it, closed in reverse order.
#pragma once

#include <setupapi.h>
#include <windows.h>

#include <string>

class DeviceRegistry {
public:
    DeviceRegistry() = default;
    ~DeviceRegistry();
    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;

    // 0, or the error of opening the driver key for reading (-1 when one is
    // already open).
    LONG OpenDeviceKey(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData);
    void CloseDeviceKey();
    // 0 or the error; -1 without a device key or with a subkey already open.
    LONG OpenSubKey(const char* name);
    void CloseSubKey();
    // A REG_SZ value of the open subkey whose text ends inside its data;
    // 0 or an error (-1 for another type, an unterminated text or no
    // subkey). `out` is cleared first.
    LONG QueryString(const char* valueName, std::string& out);

private:
    HKEY deviceKey_ = nullptr;
    HKEY subKey_ = nullptr;
};
