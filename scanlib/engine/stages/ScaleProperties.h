// The Scaler's view of the scan geometry on sensors of 300 dpi: the front end
// sees the resolutions up to 600 dpi and sizes at the resolution it chose;
// each property writes the matching value at the scanner's resolution through
// to the property of the same id below it.
#pragma once

#include "engine/properties/Property.h"

#include <cstdint>

// 4 and 5: the scanner's resolutions followed by 600; x and y always equal.
// The element below is set to the resolution it scans at (at most the
// largest it offers).
class ScaleResolutionProp : public ListInt {
public:
    ScaleResolutionProp(uint16_t id, uint16_t partner);

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;

private:
    uint16_t partner_;
};

class ScaleXResolutionProp : public ScaleResolutionProp {
public:
    ScaleXResolutionProp();
};

class ScaleYResolutionProp : public ScaleResolutionProp {
public:
    ScaleYResolutionProp();
};

// 13 and 12: offsets at the delivered resolution.
class ScaleOffsetProp : public RangeInt {
public:
    // `extentId` is the optical extent (3 or 24), `resolutionId` the
    // resolution along the offset (4 or 5).
    ScaleOffsetProp(uint16_t id, int32_t maximum, uint16_t extentId, uint16_t resolutionId);

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;

private:
    uint16_t extentId_;
    uint16_t resolutionId_;
};

class ScaleXOffsetProp : public ScaleOffsetProp {
public:
    ScaleXOffsetProp();
};

class ScaleYOffsetProp : public ScaleOffsetProp {
public:
    ScaleYOffsetProp();
};

// 14: width at the delivered resolution; the element below scans the width
// rounded up at its own resolution.
class ScaleWidthProp : public RangeInt {
public:
    ScaleWidthProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 15: length at the delivered resolution, rounded up below as for 14.
class ScaleLengthProp : public RangeInt {
public:
    ScaleLengthProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 9010: the page length found at the paper end, in delivered lines.
class ScaleEopDetectedLength : public SingleInt {
public:
    ScaleEopDetectedLength();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};
