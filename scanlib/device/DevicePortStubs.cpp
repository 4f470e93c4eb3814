// Stand-ins until the two port implementations exist. They are weak, so the
// real makers replace them as soon as they are built; until then no port can
// be made and every open reports that no hardware was found.
#include "device/DevicePortFactories.h"

#include "device/DevicePort.h"

__attribute__((weak)) std::unique_ptr<DevicePort> CreateDevicePortSTI() { return nullptr; }
__attribute__((weak)) std::unique_ptr<DevicePort> CreateDevicePortUsbscan() { return nullptr; }
