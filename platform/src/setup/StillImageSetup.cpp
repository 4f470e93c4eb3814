// A Still Image device entered as its installation file would enter it, and
// the test controls that start and stop the service host.
#include "core/Controls.h"
#include "sti/ServiceConnection.h"
#include "sti/StillImageDevices.h"

#include <windows.h>

#include <platform/testing_io.h>

namespace platform::testing {
namespace {

bool SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

// A key created under `parent`, closed with the object.
class Key {
public:
    Key(HKEY parent, const std::string& path) {
        if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string DriverOf(const std::string& instancePath) {
    HKEY instance = nullptr;
    const std::string path = "SYSTEM\\CurrentControlSet\\Enum\\" + instancePath;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &instance) != ERROR_SUCCESS) return {};
    char driver[128] = {};
    DWORD size = sizeof driver - 1;
    const LONG read = RegQueryValueExA(instance, "Driver", nullptr, nullptr, reinterpret_cast<LPBYTE>(driver), &size);
    RegCloseKey(instance);
    return read == ERROR_SUCCESS ? std::string(driver) : std::string();
}

}  // namespace

std::string InstallStillImageDevice(const StillImageInstall& install) {
    const std::string instancePath = InstallDevice(install.device);
    if (instancePath.empty() || !WriteStillImageRecords(instancePath, install)) return {};
    return instancePath;
}

bool WriteStillImageRecords(const std::string& instancePath, const StillImageInstall& install) {
    const std::string driver = DriverOf(instancePath);
    if (driver.empty()) return false;
    Key driverKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Class\\" + driver);
    if (driverKey.Get() == nullptr) return false;
    bool ok = SetString(driverKey.Get(), "SubClass", "StillImage") && SetDword(driverKey.Get(), "DeviceType", 1) &&
              SetString(driverKey.Get(), "Vendor", install.vendorDescription) &&
              SetString(driverKey.Get(), "DriverDesc", install.deviceDescription) &&
              SetString(driverKey.Get(), "CreateFileName", install.portName) &&
              SetString(driverKey.Get(), "USDClass", install.usdClass) &&
              SetString(driverKey.Get(), "FriendlyName",
                        install.device.friendlyName.empty() ? install.deviceDescription
                                                            : install.device.friendlyName);
    Key data(driverKey.Get(), "DeviceData");
    ok = ok && data.Get() != nullptr;
    if (ok && !install.dllName.empty()) ok = SetString(data.Get(), "DLLName", install.dllName);
    Key events(driverKey.Get(), "Events");
    ok = ok && events.Get() != nullptr;
    for (const auto& event : install.events) {
        if (!ok) break;
        Key entry(events.Get(), event.name);
        ok = entry.Get() != nullptr && SetString(entry.Get(), "", event.description) &&
             SetString(entry.Get(), "GUID", event.guid);
    }
    if (ok && !install.usdClass.empty() && !install.driverModule.empty()) {
        Key server(HKEY_CLASSES_ROOT, "CLSID\\" + install.usdClass + "\\InprocServer32");
        ok = server.Get() != nullptr && SetString(server.Get(), "", install.driverModule) &&
             SetString(server.Get(), "ThreadingModel", "Both");
    }
    // A device arrival: a running service host makes the device's monitor.
    if (ok) platform::sti::NotifyDevicesChanged(RootPath());
    return ok;
}

bool StartImageService() { return platform::sti::EnsureHost(RootPath()); }

void StopImageService() { platform::sti::StopHost(RootPath()); }

}  // namespace platform::testing
