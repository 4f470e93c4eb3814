// The 300-dpi GL125 duplex model.
#pragma once

#include "engine/model/Halvern33Base.h"

class RM460 : public Halvern33Base {
public:
    RM460() : Halvern33Base(300) {}

    std::string GetModelName() override { return "RM460"; }
    void GetDeviceIds(std::vector<DeviceId>& ids) override;
    bool UsesGL125() override { return gl125Board_; }

protected:
    std::unique_ptr<Controller> CreateController(DevicePort* port) override;
    std::unique_ptr<Motor> CreateMotor() override;

private:
    bool gl125Board_ = true;
};
