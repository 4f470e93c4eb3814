// The 8.5-inch duplex model, also sold as the RM1100.
#pragma once

#include "engine/model/Halvern30Base.h"

class RM410 : public Halvern30Base {
public:
    std::string GetModelName() override { return "RM410"; }
    void GetDeviceIds(std::vector<DeviceId>& ids) override;
};
