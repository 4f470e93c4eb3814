// The scanner's geometry: offsets, scan width and length, whose limits follow
// the resolutions and the optical size, and the optical length itself.
#pragma once

#include "engine/properties/Property.h"

// Lines at the y resolution from the top edge (also the feed distance).
class YOffsetProp : public RangeInt {
public:
    YOffsetProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

// Pixels at the x resolution from the left edge.
class XOffsetProp : public RangeInt {
public:
    XOffsetProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

class ScanWidthProp : public RangeInt {
public:
    ScanWidthProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

// Lines at the y resolution. The constructor's default is the base length in
// optical lines from which the default at each resolution is computed.
class ScanLengthProp : public RangeInt {
public:
    ScanLengthProp(int32_t maximum, int32_t baseLength, int32_t current);
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;

private:
    int32_t baseLength_;
};

// The longest scan in optical lines: the model's limited length while
// property 1041 is 1, kUnlimitedLength when it is 0.
class OpticalScanLengthProp : public SingleInt {
public:
    static constexpr int32_t kDefaultLimitedLength = 8400;
    static constexpr int32_t kUnlimitedLength = 1000000;

    OpticalScanLengthProp();
    // The model sets its optical scan length; while the limit is on (or not
    // registered) that becomes the limited length.
    bool SetInt(int32_t value) override;
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
    int32_t LimitedLength() const { return limited_; }

private:
    int32_t limited_ = kDefaultLimitedLength;
};

// Lines between the two sensors at the y resolution.
class CISVerticalOffsetProp : public SingleInt {
public:
    CISVerticalOffsetProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};
