#include "engine/properties/DeviceValueProperties.h"

#include <SIPropertyIds.h>

// ---- DeviceValueBinding --------------------------------------------------

bool DeviceValueBinding::DeviceName(const Property& owner, std::string* name) const {
    Property* device = owner.FindDependency(SI_PROP_DEVICE_NAME);
    if (!store_ || !device) return false;
    *name = device->GetString();
    return true;
}

bool DeviceValueBinding::Read(const Property& owner, const std::string& valueName, int* value) const {
    std::string device;
    return DeviceName(owner, &device) && store_->GetDeviceValue(device, valueName, value);
}

bool DeviceValueBinding::WriteValue(const Property& owner, int value) const {
    std::string device;
    return DeviceName(owner, &device) && store_->SetDeviceValue(device, valueName_, value);
}

// ---- DeviceValueRangeIntProp ---------------------------------------------

DeviceValueRangeIntProp::DeviceValueRangeIntProp(uint16_t id, int32_t minimum, int32_t maximum, int32_t initial,
                                                 std::string valueName, std::string defaultName)
    : RangeInt(id, SI_ACCESS_READ_WRITE, minimum, maximum, 1, initial, true),
      binding_(std::move(valueName), std::move(defaultName)) {}

int32_t DeviceValueRangeIntProp::GetInt() {
    int value = 0;
    if (binding_.ReadValue(*this, &value)) RangeInt::SetInt(value);
    return RangeInt::GetInt();
}

bool DeviceValueRangeIntProp::SetInt(int32_t value) {
    if (!binding_.WriteValue(*this, value)) return false;
    RangeInt::SetInt(value);
    return true;
}

bool DeviceValueRangeIntProp::Get(SIProperty* record) {
    int value = 0;
    if (!binding_.ReadValue(*this, &value)) return false;
    RangeInt::SetInt(value);
    int def = 0;
    if (binding_.ReadDefault(*this, &def)) SetDefaultInt(def);
    return RangeInt::Get(record);
}

bool DeviceValueRangeIntProp::Set(const SIProperty* record) {
    if (!FindDependency(SI_PROP_DEVICE_NAME)) return false;
    if (!RangeInt::Set(record)) return false;
    return binding_.WriteValue(*this, RangeInt::GetInt());
}

// ---- DeviceValueSingleBoolProp -------------------------------------------

DeviceValueSingleBoolProp::DeviceValueSingleBoolProp(uint16_t id, int32_t defaultValue, std::string valueName,
                                                     std::string defaultName)
    : SingleBool(id, SI_ACCESS_READ_WRITE, defaultValue), binding_(std::move(valueName), std::move(defaultName)) {}

int32_t DeviceValueSingleBoolProp::GetInt() {
    int value = 0;
    if (binding_.ReadValue(*this, &value)) Store(value != 0 ? 1 : 0);
    return SingleBool::GetInt();
}

bool DeviceValueSingleBoolProp::SetInt(int32_t value) {
    if (value != 0 && value != 1) return false;
    if (!binding_.WriteValue(*this, value)) return false;
    Store(value);
    return true;
}

bool DeviceValueSingleBoolProp::Get(SIProperty* record) {
    int value = 0;
    if (!binding_.ReadValue(*this, &value)) return false;
    Store(value != 0 ? 1 : 0);
    int def = 0;
    if (binding_.ReadDefault(*this, &def)) SetDefault(def != 0 ? 1 : 0);
    return SingleBool::Get(record);
}

bool DeviceValueSingleBoolProp::Set(const SIProperty* record) {
    if (!FindDependency(SI_PROP_DEVICE_NAME)) return false;
    if (!SingleBool::Set(record)) return false;
    return binding_.WriteValue(*this, SingleBool::GetInt());
}
