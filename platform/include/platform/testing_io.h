// Test controls of the file, registry and device-file side of the platform.
#pragma once

#include <windef.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::testing {

// Free space reported by GetDiskFreeSpaceExA for every folder; nullopt = real.
PLATFORM_EXPORT void SetFreeSpace(std::optional<uint64_t> bytes);
// Free space reported for `folder` and every folder below it, as if it were a
// volume of its own; it wins over SetFreeSpace. nullopt removes it.
PLATFORM_EXPORT void SetFreeSpaceOf(const std::string& folder, std::optional<uint64_t> bytes);

// Device requests wait up to `ms` for their reply and complete at once (0 = pend).
PLATFORM_EXPORT void SetSyncCompletion(DWORD ms);

// Pending device requests whose issuer went away (their event was closed),
// cancelled and detached by the platform, since the process started.
PLATFORM_EXPORT uint64_t AbandonedRequests();

// A device instance in the installation database of the current root.
struct DeviceInstall {
    std::string enumerator = "USB";
    std::string deviceId;              // e.g. "VID_17C4&PID_00F0"
    std::string instanceId = "0000";   // third path element
    std::string classGuid = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
    std::string className = "Image";
    std::string description;           // "DeviceDesc"
    std::string friendlyName;          // "FriendlyName", left out when empty
    std::string manufacturer;          // "Mfg", left out when empty
    std::string hardwareId;            // "HardwareID" (REG_MULTI_SZ), left out when empty
    bool present = true;
};

// Writes the instance key and a new driver key under the class key; returns
// the instance path ("USB\VID_17C4&PID_00F0\0000") or "" on failure.
PLATFORM_EXPORT std::string InstallDevice(const DeviceInstall& device);

// Sets the instance's "Present" flag; false when the instance is unknown.
PLATFORM_EXPORT bool SetDevicePresent(const std::string& instancePath, bool present);

// What a scanner's installation file gives a Still Image device beyond its
// instance: the Still Image record on the driver key, the driver's class
// registration, "DeviceData" and the "Events" subkeys.
struct StillImageInstall {
    DeviceInstall device;
    std::string vendorDescription;     // "Vendor"
    std::string deviceDescription;     // "DriverDesc"
    std::string portName;              // "CreateFileName", e.g. \\.\usbscan0
    std::string usdClass;              // braced class identifier of the driver ("USDClass")
    std::string driverModule;          // HKCR\CLSID\{usdClass}\InprocServer32
    std::string dllName;               // "DeviceData" "DLLName", left out when empty
    struct Event {
        std::string name;         // subkey of "Events"
        std::string description;  // its default value
        std::string guid;         // "GUID", braced
    };
    std::vector<Event> events;
};

// Installs the device and its Still Image entry; returns the instance path
// or "" on failure.
PLATFORM_EXPORT std::string InstallStillImageDevice(const StillImageInstall& install);
// The Still Image entry alone, for an instance already entered (what setup's
// device installation step writes); of install.device only the friendly name
// is used.
PLATFORM_EXPORT bool WriteStillImageRecords(const std::string& instancePath, const StillImageInstall& install);

// The image-acquisition service host of the current root: started (if none
// runs) and stopped (if one runs). A ScopedRoot stops its root's host.
PLATFORM_EXPORT bool StartImageService();
PLATFORM_EXPORT void StopImageService();

}  // namespace platform::testing
