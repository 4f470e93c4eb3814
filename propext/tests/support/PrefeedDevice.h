// The scanner's Still Image entry on the test's machine (no scanner behind
// it unless the test serves one), and its prefeed values read back through
// the service's own interface.
#pragma once

#include <platform/testing.h>
#include <platform/testing_io.h>
#include <sti.h>
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

namespace propext_test {

inline platform::testing::StillImageInstall ScannerEntry(const std::string& description = "RM310") {
    platform::testing::StillImageInstall install;
    install.device.deviceId = "VID_1234&PID_0001";
    install.device.description = "test scanner";
    install.vendorDescription = "vendor";
    install.deviceDescription = description;
    install.portName = "\\\\.\\usbscan0";
    install.usdClass = "{4161996E-4020-4EEA-8C0B-AE438253EF01}";
    install.driverModule = "PelidorW.dll";
    return install;
}

// A DWORD device value of the first device; nothing when absent or of
// another type.
inline std::optional<DWORD> DeviceNumber(const std::string& name) {
    IStillImageW* sti = nullptr;
    if (FAILED(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr))) return std::nullopt;
    std::optional<DWORD> result;
    DWORD count = 0;
    void* list = nullptr;
    if (SUCCEEDED(sti->GetDeviceList(0, 0, &count, &list)) && count > 0) {
        std::wstring wide(name.begin(), name.end());
        DWORD value = 0;
        DWORD size = sizeof value;
        DWORD type = 0;
        if (SUCCEEDED(sti->GetDeviceValue(static_cast<STI_DEVICE_INFORMATIONW*>(list)->szDeviceInternalName,
                                          wide.data(), &type, reinterpret_cast<BYTE*>(&value), &size)) &&
            type == REG_DWORD)
            result = value;
    }
    if (list) LocalFree(list);
    sti->Release();
    return result;
}

inline void SetDeviceNumber(const std::string& name, DWORD value) {
    IStillImageW* sti = nullptr;
    if (FAILED(StiCreateInstanceW(GetModuleHandleA(nullptr), STI_VERSION, &sti, nullptr))) return;
    DWORD count = 0;
    void* list = nullptr;
    if (SUCCEEDED(sti->GetDeviceList(0, 0, &count, &list)) && count > 0) {
        std::wstring wide(name.begin(), name.end());
        sti->SetDeviceValue(static_cast<STI_DEVICE_INFORMATIONW*>(list)->szDeviceInternalName, wide.data(),
                            REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
    }
    if (list) LocalFree(list);
    sti->Release();
}

struct Prefeed {
    std::optional<DWORD> enable, delay, distance;
    bool operator==(const Prefeed&) const = default;
};

inline Prefeed CurrentPrefeed() {
    return {DeviceNumber("PrefeedEnable"), DeviceNumber("PrefeedDelayInMs"), DeviceNumber("PrefeedDistance")};
}

inline Prefeed DefaultPrefeed() {
    return {DeviceNumber("PrefeedEnableDef"), DeviceNumber("PrefeedDelayInMsDef"),
            DeviceNumber("PrefeedDistanceDef")};
}

inline std::ostream& operator<<(std::ostream& out, const Prefeed& p) {
    auto one = [&](const std::optional<DWORD>& v) { out << (v ? std::to_string(*v) : std::string("-")); };
    out << "{";
    one(p.enable);
    out << ", ";
    one(p.delay);
    out << ", ";
    one(p.distance);
    return out << "}";
}

}  // namespace propext_test
