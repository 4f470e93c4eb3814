#include "engine/model/RM460.h"

#include "chips/Controller.h"
#include "chips/Motor.h"

void RM460::GetDeviceIds(std::vector<DeviceId>& ids) { ids.push_back({0x17C4, 0x4811, L"Tessaline Corp.", L"RM460"}); }

// The GL125 driver is not wired in yet: the open then finds no controller.
std::unique_ptr<Controller> RM460::CreateController(DevicePort*) { return nullptr; }

std::unique_ptr<Motor> RM460::CreateMotor() { return std::make_unique<FAN8200D_2>(); }
