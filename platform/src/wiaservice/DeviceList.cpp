// The installed WIA devices: the machine's Still Image devices.
#include "sti/StillImageDevices.h"

#include <platform/wia_service.h>

namespace platform::wia {

std::vector<DeviceEntry> ListDevices() {
    std::vector<DeviceEntry> out;
    for (const auto& device : sti::InstalledDevices()) {
        out.push_back(DeviceEntry{device.internalName,
                                  device.friendlyName.empty() ? device.deviceDescription : device.friendlyName,
                                  device.portName, device.vendorDescription, device.deviceDescription,
                                  device.deviceType});
    }
    return out;
}

}  // namespace platform::wia
