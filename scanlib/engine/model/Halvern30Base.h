// The family whose scan and feed rates come from two fixed tables (the
// second for scan windows that reach into the back half of the line).
#pragma once

#include "engine/model/DuplexSwiftmere.h"
#include "engine/properties/PropertyCallbacks.h"

#include <array>

class Halvern30Base : public DuplexSwiftmere, public ScanRateCallback, public FeedRateCallback {
public:
    // Rows 0-2 line art, gray, colour on external power; 3-5 the same on bus
    // power. Columns: 75, 100, 150, 200, 300, 400, 500, 600 dpi.
    using RateTable = std::array<std::array<float, 8>, 6>;
    static const RateTable kNarrowRates;
    static const RateTable kWideRates;

    // Unregisters every property while all of them still exist.
    ~Halvern30Base() override { ReleaseProperties(); }

    void GetDataDirectory(std::string& path) override;
    std::array<float, 3> GetMaxLineRate() override;
    void RegisterProperties() override;

    void GetScanRateRange(float* minimum, float* maximum, float* recommended) override;
    void GetFeedRateRange(float* minimum, float* maximum) override;

protected:
    FamilyProperties familyProperties_;
    // The scan-rate bounds around a family rate for the current settings.
    void ScanRateRangeFor(float entry, float* minimum, float* maximum, float* recommended);
    // The model name of the first device-id entry.
    std::string DeviceName();
};

// Folder "Tessaline\<model>" under the machine-wide application data.
std::string ModelDataDirectory(const std::string& model);
