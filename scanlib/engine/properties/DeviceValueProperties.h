// Properties kept in the device's stored values (the prefeed settings),
// addressed by the device name of property 205 and a value name, with a
// second value name for the default. Without property 205 or a store every
// operation fails.
#pragma once

#include "engine/properties/Property.h"
#include "engine/properties/PropertyCallbacks.h"

#include <string>

// The two value names of one property and the store they live in.
class DeviceValueBinding {
public:
    DeviceValueBinding(std::string valueName, std::string defaultName)
        : valueName_(std::move(valueName)), defaultName_(std::move(defaultName)) {}
    void SetStore(DeviceValueStore* store) { store_ = store; }
    // False without a store or without property 205 seen from `owner`.
    bool ReadValue(const Property& owner, int* value) const { return Read(owner, valueName_, value); }
    bool ReadDefault(const Property& owner, int* value) const { return Read(owner, defaultName_, value); }
    bool WriteValue(const Property& owner, int value) const;

private:
    bool DeviceName(const Property& owner, std::string* name) const;
    bool Read(const Property& owner, const std::string& valueName, int* value) const;

    DeviceValueStore* store_ = nullptr;
    std::string valueName_;
    std::string defaultName_;
};

class DeviceValueRangeIntProp : public RangeInt {
public:
    DeviceValueRangeIntProp(uint16_t id, int32_t minimum, int32_t maximum, int32_t initial, std::string valueName,
                            std::string defaultName);
    void SetStore(DeviceValueStore* store) { binding_.SetStore(store); }

    int32_t GetInt() override;
    bool SetInt(int32_t value) override;
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;

private:
    DeviceValueBinding binding_;
};

class DeviceValueSingleBoolProp : public SingleBool {
public:
    DeviceValueSingleBoolProp(uint16_t id, int32_t defaultValue, std::string valueName, std::string defaultName);
    void SetStore(DeviceValueStore* store) { binding_.SetStore(store); }

    int32_t GetInt() override;
    bool SetInt(int32_t value) override;
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;

private:
    DeviceValueBinding binding_;
};
