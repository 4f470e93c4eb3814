#include "engine/model/HalvernRates.h"

#include "chips/Controller.h"
#include "os/OSFunctions.h"

#include <algorithm>

namespace {

constexpr float kOldWindowsBusLimit = 600000.0f;
constexpr float kFullSpeedBusLimit = 750000.0f;

std::span<const int32_t> Resolutions(bool sensor600) {
    return sensor600 ? std::span<const int32_t>(kRateResolutions) : std::span<const int32_t>(kRateResolutions300);
}

}  // namespace

int RateColumn(int32_t resolution) {
    const auto it = std::find(kRateResolutions.begin(), kRateResolutions.end(), resolution);
    return it == kRateResolutions.end() ? 0 : static_cast<int>(it - kRateResolutions.begin());
}

RateBounds ScanRateBounds(Controller& controller, const ScanRateInputs& in) {
    RateBounds b;
    b.minimum = controller.GetMinScanRate(in.colourMode == 2 ? in.xResolution * 3 : in.xResolution);
    b.maximum = std::max(in.entry, b.minimum);
    if ((in.fullSpeed || in.oldWindows) && in.xResolution > 0 && in.widthInBytes > 0) {
        const float limit = (in.oldWindows ? kOldWindowsBusLimit : kFullSpeedBusLimit) /
                            (static_cast<float>(in.xResolution) * static_cast<float>(in.widthInBytes));
        b.maximum = std::min(b.maximum, limit);
    }
    b.maximum = std::max(b.maximum, b.minimum);
    return b;
}

float ComputedRate(const ComputedRateRule& rule, int pixels, bool sensor600, int32_t xResolution, bool wide,
                   int32_t colourMode, bool external) {
    if (xResolution <= 0) return 0.0f;
    const int least = sensor600 ? rule.extraPixels600 : rule.extraPixelsOther;
    const int extra = std::max(least, wide ? pixels : 0);
    float rate = 2000000.0f / (static_cast<float>(pixels + extra) * static_cast<float>(xResolution));
    if (colourMode == 2) rate /= 3.0f;
    return std::min(rate, external ? rule.capExternal : rule.capBus);
}

float ComputedMaxLineRate(const ComputedRateRule& rule, int pixels, bool sensor600) {
    float best = 0.0f;
    for (bool external : {true, false}) {
        for (bool wide : {false, true}) {
            for (int32_t colour = 0; colour < 3; ++colour) {
                for (int32_t x : Resolutions(sensor600)) {
                    const float rate = ComputedRate(rule, pixels, sensor600, x, wide, colour, external);
                    best = std::max(best, static_cast<float>(x) * rate * (colour == 2 ? 3.0f : 1.0f));
                }
            }
        }
    }
    return best;
}

float ComputedMaxFeedRate(const ComputedRateRule& rule, int pixels, bool sensor600, bool external) {
    float best = 0.0f;
    for (int32_t colour = 0; colour < 3; ++colour) {
        for (int32_t x : Resolutions(sensor600)) {
            best = std::max(best, ComputedRate(rule, pixels, sensor600, x, true, colour, external));
        }
    }
    return best;
}
