#include "engine/model/RM460.h"

#include "chips/Controller.h"
#include "chips/GL125.h"
#include "chips/Motor.h"

void RM460::GetDeviceIds(std::vector<DeviceId>& ids) { ids.push_back({0x17C4, 0x4811, L"Tessaline Corp.", L"RM460"}); }

std::unique_ptr<Controller> RM460::CreateController(DevicePort* port) {
    return std::make_unique<GL125>(GetAnalogFrontEnd(), port);
}

std::unique_ptr<Motor> RM460::CreateMotor() { return std::make_unique<FAN8200D_2>(); }
