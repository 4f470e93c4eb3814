#include "sti/StillImageDevices.h"

#include <cwctype>

namespace platform::sti {
namespace {

std::optional<std::string> ReadString(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::string text(size, '\0');
    if (size > 0 &&
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size);
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

DWORD ReadDword(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return 0;
    }
    return value;
}

bool EqualFolded(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    }
    return true;
}

}  // namespace

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                            nullptr);
    }
    return narrow;
}

std::vector<StillImageDevice> InstalledDevices() {
    std::vector<StillImageDevice> devices;
    HKEY classKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kImageClassKey, 0, KEY_READ, &classKey) != ERROR_SUCCESS) return devices;
    const std::string classGuid = std::string(kImageClassKey).substr(std::string(kImageClassKey).rfind('\\') + 1);
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        const LONG enumerated = RegEnumKeyExA(classKey, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (enumerated == ERROR_NO_MORE_ITEMS) break;
        if (enumerated != ERROR_SUCCESS) continue;
        HKEY driver = nullptr;
        if (RegOpenKeyExA(classKey, name, 0, KEY_READ, &driver) != ERROR_SUCCESS) continue;
        auto subClass = ReadString(driver, "SubClass");
        auto usd = ReadString(driver, "USDClass");
        if (subClass && *subClass == "StillImage" && usd) {
            StillImageDevice device;
            device.internalName = Widen(classGuid + "\\" + name);
            device.vendorDescription = Widen(ReadString(driver, "Vendor").value_or(""));
            device.deviceDescription = Widen(ReadString(driver, "DriverDesc").value_or(""));
            device.portName = Widen(ReadString(driver, "CreateFileName").value_or(""));
            device.friendlyName = Widen(ReadString(driver, "FriendlyName").value_or(""));
            device.usdClass = *usd;
            device.deviceType = ReadDword(driver, "DeviceType");
            device.driverKeyPath = std::string(kImageClassKey) + "\\" + name;
            devices.push_back(std::move(device));
        }
        RegCloseKey(driver);
    }
    RegCloseKey(classKey);
    return devices;
}

std::optional<StillImageDevice> FindDevice(const std::wstring& internalName) {
    for (auto& device : InstalledDevices()) {
        if (EqualFolded(device.internalName, internalName)) return device;
    }
    return std::nullopt;
}

}  // namespace platform::sti
