// The 4-inch duplex model, built with either controller: the product id of
// the opened device says which.
#pragma once

#include "engine/model/Halvern71Base.h"

class RM310 : public Halvern71Base {
public:
    static constexpr uint16_t kGL125ProductId = 0x00F2;

    RM310() : Halvern71Base(600) {}

    std::string GetModelName() override { return "RM310"; }
    void GetDeviceIds(std::vector<DeviceId>& ids) override;
    bool UsesGL125() override { return gl125Board_; }
    bool SensorSelectLevel() override { return false; }

protected:
    std::unique_ptr<Controller> CreateController(DevicePort* port) override;
    std::unique_ptr<CISModule> CreateCisModule() override;
    std::unique_ptr<Motor> CreateMotor() override;

private:
    bool gl125Board_ = false;
};
