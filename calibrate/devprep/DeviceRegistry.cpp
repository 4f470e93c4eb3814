#include "DeviceRegistry.h"

#include <cstring>
#include <vector>

DeviceRegistry::~DeviceRegistry() {
    CloseSubKey();
    CloseDeviceKey();
}

LONG DeviceRegistry::OpenDeviceKey(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData) {
    if (deviceKey_ != nullptr) return -1;
    HKEY key = SetupDiOpenDevRegKey(deviceInfoSet, deviceInfoData, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE || key == nullptr) {
        const LONG error = static_cast<LONG>(GetLastError());
        return error != 0 ? error : -1;
    }
    deviceKey_ = key;
    return 0;
}

void DeviceRegistry::CloseDeviceKey() {
    if (deviceKey_ != nullptr) RegCloseKey(deviceKey_);
    deviceKey_ = nullptr;
}

LONG DeviceRegistry::OpenSubKey(const char* name) {
    if (deviceKey_ == nullptr || subKey_ != nullptr) return -1;
    HKEY key = nullptr;
    const LONG result = RegOpenKeyA(deviceKey_, name, &key);
    if (result != ERROR_SUCCESS) return result;
    subKey_ = key;
    return 0;
}

void DeviceRegistry::CloseSubKey() {
    if (subKey_ != nullptr) RegCloseKey(subKey_);
    subKey_ = nullptr;
}

LONG DeviceRegistry::QueryString(const char* valueName, std::string& out) {
    out.clear();
    if (subKey_ == nullptr) return -1;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(subKey_, valueName, nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    // One byte more than reported, so that even an unterminated text ends.
    std::vector<BYTE> buffer(static_cast<size_t>(size) + 1, 0);
    DWORD read = size;
    result = RegQueryValueExA(subKey_, valueName, nullptr, &type, buffer.data(), &read);
    if (result != ERROR_SUCCESS) return result;
    const char* text = reinterpret_cast<const char*>(buffer.data());
    if (type != REG_SZ || std::strlen(text) >= size) return -1;
    out = text;
    return 0;
}
