// The installed Still Image devices as the client and the service host both
// read them: driver keys of the Image class marked "SubClass" = "StillImage".
// Written on the registry functions alone, so the host compiles it too.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::sti {

inline constexpr char kImageClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

struct StillImageDevice {
    std::wstring internalName;  // "{class GUID}\NNNN", the driver key under the class key
    std::wstring vendorDescription;
    std::wstring deviceDescription;
    std::wstring portName;      // "CreateFileName"
    std::wstring friendlyName;
    std::string usdClass;       // braced class identifier of the driver
    DWORD deviceType = 0;
    std::string driverKeyPath;  // under HKEY_LOCAL_MACHINE
};

std::vector<StillImageDevice> InstalledDevices();
std::optional<StillImageDevice> FindDevice(const std::wstring& internalName);

// Narrow (the registry's ANSI text) and wide forms of names and values.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace platform::sti
