// Values that follow the colour mode and the scan width: bits per channel,
// bits per pixel and bytes per line.
#pragma once

#include "engine/properties/Property.h"

class BitsPerChannelProp : public SingleInt {
public:
    BitsPerChannelProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

class BitsPerPixelProp : public SingleInt {
public:
    BitsPerPixelProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

// (scan width x bits per pixel + 7) / 8, as its owner sees both.
class WidthInBytesProp : public SingleInt {
public:
    WidthInBytesProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};
