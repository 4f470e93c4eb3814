// The Duplex splitter's view of the scan geometry. Each property hides the
// scanner's property of the same id: in wide mode it mirrors the scanner's
// (one image of both sensors side by side); otherwise it describes one sensor
// and writes through to the scanner what it must scan for the front and the
// mirrored back.
#pragma once

#include "engine/properties/Property.h"

#include <cstdint>

// Duplex (21) and wide mode (1003) exclude each other: when one becomes 1
// while the other is 1, the other becomes 0.
class DuplexSwitchProp : public SingleBool {
public:
    DuplexSwitchProp(uint16_t id, uint16_t partner) : SingleBool(id, SI_ACCESS_READ_WRITE, 0), partner_(partner) {}

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;

private:
    uint16_t partner_;
};

class DuplexEnabledProp : public DuplexSwitchProp {
public:
    DuplexEnabledProp();
};

class DuplexWideModeProp : public DuplexSwitchProp {
public:
    DuplexWideModeProp();
};

// 3: the scanner's optical width in wide mode, one sensor's (half) otherwise.
class DuplexOptWidthInPixelsProp : public SingleInt {
public:
    DuplexOptWidthInPixelsProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 24: the scanner's optical length in wide mode, less the sensor distance
// (property 1001) otherwise, since the back lags by that distance.
class DuplexOptLengthInPixelsProp : public SingleInt {
public:
    DuplexOptLengthInPixelsProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 19: the scanner's bytes per line in wide mode, one side's otherwise.
class DuplexWidthInBytesProp : public SingleInt {
public:
    DuplexWidthInBytesProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 13 and 12: offsets of one side, written through to the scanner.
class DuplexOffsetProp : public RangeInt {
public:
    // `extentId` is the optical extent (3 or 24), `resolutionId` the
    // resolution along the offset (4 or 5).
    DuplexOffsetProp(uint16_t id, int32_t maximum, uint16_t extentId, uint16_t resolutionId);

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;

private:
    uint16_t extentId_;
    uint16_t resolutionId_;
};

class DuplexXOffsetProp : public DuplexOffsetProp {
public:
    DuplexXOffsetProp();
};

class DuplexYOffsetProp : public DuplexOffsetProp {
public:
    DuplexYOffsetProp();
};

// 14: width of one side. In duplex the scanner scans the front area and the
// mirrored back area in one wide line.
class DuplexWidthProp : public RangeInt {
public:
    DuplexWidthProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};

// 15: length of one side. In duplex the scanner also scans the back's lag
// (property 1002).
class DuplexLengthProp : public RangeInt {
public:
    DuplexLengthProp();

    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
};
