// Makers of the two port implementations, used by CreateDevicePort.
#pragma once

#include <memory>

class DevicePort;

std::unique_ptr<DevicePort> CreateDevicePortSTI();
std::unique_ptr<DevicePort> CreateDevicePortUsbscan();
