// One USB device a scanner model answers to.
#pragma once

#include <cstdint>
#include <string>

struct DeviceId {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::wstring vendorDescription;
    std::wstring productName;  // also names the port's device lock
};
