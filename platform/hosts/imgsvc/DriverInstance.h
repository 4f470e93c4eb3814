// One instance of a device's user-mode driver, created by its class
// identifier and initialised with the host's device control and the
// device's driver key; released with the object.
#pragma once

#include "sti/StillImageDevices.h"

#include <stiusd.h>

namespace imgsvc {

class DriverInstance {
public:
    DriverInstance() = default;
    ~DriverInstance();
    DriverInstance(const DriverInstance&) = delete;
    DriverInstance& operator=(const DriverInstance&) = delete;

    HRESULT Create(const platform::sti::StillImageDevice& device, DWORD openMode);
    IStiUSD* Driver() const { return driver_; }

private:
    IStiUSD* driver_ = nullptr;
};

}  // namespace imgsvc
