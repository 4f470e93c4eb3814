// The Still Image transport is not built: asking for it gives no port, and an
// open by a model name without the "__" suffix reports that no hardware was
// found.
#include "device/DevicePort.h"
#include "device/DevicePortFactories.h"

std::unique_ptr<DevicePort> CreateDevicePortSTI() { return nullptr; }
