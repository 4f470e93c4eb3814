// The scan- and feed-rate rules the model families share: the bounds of the
// scan rate around a family's rate for the settings, and the computed rates
// of the families that derive them from the sensor.
#pragma once

#include <array>
#include <cstdint>
#include <span>

class Controller;

// Resolution columns of the rate tables.
inline constexpr std::array<int32_t, 8> kRateResolutions{75, 100, 150, 200, 300, 400, 500, 600};
inline constexpr std::array<int32_t, 5> kRateResolutions300{75, 100, 150, 200, 300};

// The column of a resolution; one not in the list uses column 0.
int RateColumn(int32_t resolution);

struct RateBounds {
    float minimum = 0.0f;
    float maximum = 0.0f;
};

struct ScanRateInputs {
    float entry = 0.0f;         // the family's rate for the settings
    int32_t xResolution = 0;
    int32_t colourMode = 0;
    int32_t widthInBytes = 0;
    bool fullSpeed = false;     // the bus carries 64-byte packets
    bool oldWindows = false;    // the two operating-system versions with a slower bus limit
};

// Lower: the controller's slowest rate for the line count; upper: the entry,
// capped by the bus limit where it applies, never below the lower value.
RateBounds ScanRateBounds(Controller& controller, const ScanRateInputs& in);

// The rate rule of the families that compute their rates.
struct ComputedRateRule {
    int extraPixels600;     // least extra pixels with a 600-dpi sensor
    int extraPixelsOther;   // with any other sensor
    float capExternal;      // on external power
    float capBus;           // on bus power
};
inline constexpr ComputedRateRule kHalvern33Rule{40, 40, 2.6f, 2.0f};
inline constexpr ComputedRateRule kHalvern71Rule{2600, 400, 2.396f, 1.15f};

// pixels = sensor pixels + dummy pixels.
float ComputedRate(const ComputedRateRule& rule, int pixels, bool sensor600, int32_t xResolution, bool wide,
                   int32_t colourMode, bool external);

// The highest line rate over both caps, both wide states, the three colour
// modes and the sensor's resolutions.
float ComputedMaxLineRate(const ComputedRateRule& rule, int pixels, bool sensor600);

// The highest capped rate, computed as wide, over the colour modes and the
// sensor's resolutions for one power source.
float ComputedMaxFeedRate(const ComputedRateRule& rule, int pixels, bool sensor600, bool external);
