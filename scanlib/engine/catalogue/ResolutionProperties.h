// The scanner's x and y resolutions: lists that always hold the same value,
// each taking the other's when it changes.
#pragma once

#include "engine/properties/Property.h"

#include <span>

class XResolutionProp : public ListInt {
public:
    XResolutionProp(std::span<const int32_t> items, int32_t defaultValue);
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

class YResolutionProp : public ListInt {
public:
    YResolutionProp(std::span<const int32_t> items, int32_t defaultValue);
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};
