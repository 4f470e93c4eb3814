#include "engine/tone/ToneCurve.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kNodes = 5;

// Degrees to radians as the curve has always converted them.
constexpr float kRadiansPerDegree = 0.017453292f;

// Largest contrast angle, in degrees, for contrast +100 and -100.
constexpr float kSteepestAngle = 89.9f;
constexpr float kFlattestAngle = 44.0f;

// Slope factor of the linear contrast term.
float ContrastSlope(int32_t contrast)
{
    const float angle = contrast >= 0 ? static_cast<float>(contrast) * kSteepestAngle / 100.0f
                                      : static_cast<float>(contrast) * kFlattestAngle / 100.0f;
    return std::tan(angle * kRadiansPerDegree);
}

// Table index of a level 0..256 on the 256-level scale, at most n.
uint32_t LevelIndex(uint64_t level, uint32_t n)
{
    return static_cast<uint32_t>(std::min<uint64_t>((level * n) >> 8, n));
}

}  // namespace

float ToneCurvePoint(float x, const float nodesX[5], const float nodesY[5])
{
    float sum = 0.0f;
    for (int j = 0; j < kNodes; ++j) {
        float term = nodesY[j];
        for (int m = 0; m < kNodes; ++m) {
            if (m != j) {
                term *= (x - nodesX[m]) / (nodesX[j] - nodesX[m]);
            }
        }
        sum += term;
    }
    return sum;
}

void BuildToneCurve(float gamma, uint32_t shadow, uint32_t highlight, int32_t brightness, int32_t contrast,
                    uint8_t* table, uint32_t n)
{
    if (table == nullptr || n == 0) {
        return;
    }
    const float slope = ContrastSlope(contrast);

    // The span runs from lo to hi inclusive; end is one past hi.
    const uint32_t lo = LevelIndex(shadow, n);
    const uint32_t end = LevelIndex(static_cast<uint64_t>(highlight) + 1, n);
    if (end <= lo + 1) {
        // No span to interpolate over (the nodes would coincide): a threshold.
        const uint32_t step = std::min(lo, end);
        std::fill(table, table + step, uint8_t{0});
        std::fill(table + step, table + n, uint8_t{255});
        return;
    }
    const uint32_t hi = end - 1;
    const uint32_t span = hi - lo;

    const float first = static_cast<float>(lo);
    const float width = static_cast<float>(span);
    const float exponent = 1.0f / gamma;
    float nodesX[kNodes];
    float nodesY[kNodes];
    nodesX[0] = first;
    nodesY[0] = 0.0f;
    for (int j = 1; j < kNodes - 1; ++j) {
        nodesX[j] = first + static_cast<float>(j) * width * 0.25f;
        nodesY[j] = 255.0f * std::pow((nodesX[j] - first) / width, exponent);
    }
    nodesX[kNodes - 1] = static_cast<float>(hi);
    nodesY[kNodes - 1] = 255.0f;

    const float offset = static_cast<float>(brightness) * 128.0f / 100.0f;
    const float linear = (255.0f / static_cast<float>(n)) * slope;
    const float pivot = width / 2.0f;

    std::fill(table, table + lo, uint8_t{0});
    uint8_t level = 0;
    for (uint32_t k = lo; k <= hi; ++k) {
        const float position = static_cast<float>(k);
        float v = ToneCurvePoint(position, nodesX, nodesY) + (position - pivot) * linear + offset;
        // Written so that a value that is not a number (a gamma of 0) counts as 0.
        if (!(v >= 0.0f)) {
            v = 0.0f;
        } else if (v > 255.0f) {
            v = 255.0f;
        }
        const auto whole = static_cast<uint8_t>(v);
        if (whole >= level) {
            level = whole;
        }
        table[k] = level;
    }
    std::fill(table + hi + 1, table + n, uint8_t{255});
}
