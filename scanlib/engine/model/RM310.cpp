#include "engine/model/RM310.h"

#include "chips/CISModule.h"
#include "chips/Controller.h"
#include "chips/GL125.h"
#include "chips/Motor.h"

void RM310::GetDeviceIds(std::vector<DeviceId>& ids) {
    ids.push_back({0x17C4, 0x00F0, L"Tessaline Corp.", L"RM310"});
    ids.push_back({0x17C4, kGL125ProductId, L"Tessaline Corp.", L"RM310"});
}

std::unique_ptr<Controller> RM310::CreateController(DevicePort* port) {
    gl125Board_ = OpenedProductId() == kGL125ProductId;
    if (gl125Board_) return std::make_unique<GL125>(GetAnalogFrontEnd(), port);
    return Halvern71Base::CreateController(port);
}

std::unique_ptr<CISModule> RM310::CreateCisModule() {
    if (gl125Board_) return std::make_unique<CM218_02>();
    return std::make_unique<CM635>();
}

std::unique_ptr<Motor> RM310::CreateMotor() { return std::make_unique<FAN8200D_2>(); }
