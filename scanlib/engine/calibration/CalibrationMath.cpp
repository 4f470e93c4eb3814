#include "engine/calibration/CalibrationMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace calibration {

namespace {

constexpr size_t kEdgeWindow = 14;
constexpr size_t kEdgeBeside = 3;
constexpr size_t kEdgeInside = 10;
constexpr double kEdgeStep = 0.5;

double Mean(std::span<const float> values) {
    double sum = 0.0;
    for (const float v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

// Every sliding-window mean, handed to pick(best, candidate).
template <typename Better>
std::optional<float> WindowMean(std::span<const float> values, size_t window, Better better) {
    if (values.empty()) return std::nullopt;
    window = std::clamp<size_t>(window, 1, values.size());
    double sum = std::accumulate(values.begin(), values.begin() + static_cast<ptrdiff_t>(window), 0.0);
    double best = sum;
    for (size_t i = window; i < values.size(); ++i) {
        sum += static_cast<double>(values[i]) - static_cast<double>(values[i - window]);
        if (better(sum, best)) best = sum;
    }
    return static_cast<float>(best / static_cast<double>(window));
}

}  // namespace

std::optional<float> LowestWindowMean(std::span<const float> values, size_t window) {
    return WindowMean(values, window, [](double a, double b) { return a < b; });
}

std::optional<float> HighestWindowMean(std::span<const float> values, size_t window) {
    return WindowMean(values, window, [](double a, double b) { return a > b; });
}

std::optional<int32_t> NearestListed(std::span<const int32_t> items, int32_t target) {
    if (items.empty()) return std::nullopt;
    int32_t best = items[0];
    int64_t distance = std::llabs(static_cast<int64_t>(items[0]) - target);
    for (size_t i = 1; i < items.size(); ++i) {
        const int64_t d = std::llabs(static_cast<int64_t>(items[i]) - target);
        if (d > distance) break;
        if (d < distance) {
            best = items[i];
            distance = d;
        }
    }
    return best;
}

std::optional<double> SolveOnLine(double x1, double y1, double x2, double y2, double y) {
    if (x1 == x2) return std::nullopt;
    const double slope = (y1 - y2) / (x1 - x2);
    if (!std::isfinite(slope) || slope == 0.0) return std::nullopt;
    const double x = x1 + (y - y1) / slope;
    if (!std::isfinite(x)) return std::nullopt;
    return x;
}

std::optional<int32_t> RoundInto(double value, int32_t minimum, int32_t maximum) {
    if (!std::isfinite(value)) return std::nullopt;
    const double r = std::round(std::clamp(value, static_cast<double>(minimum), static_cast<double>(maximum)));
    return static_cast<int32_t>(r);
}

double NextReferenceCode(int32_t code, float darkLevel) { return std::round(code + darkLevel / 29.0); }

std::optional<double> FinalReferenceCode(int32_t code, float level, int32_t nextCode, float nextLevel) {
    // The first dark level was already close to the target: nothing to fit.
    if (nextCode == code) return static_cast<double>(code);
    return SolveOnLine(code, level, nextCode, nextLevel, kDarkTarget);
}

double EstimateOffset(float levelAtMaximum, int32_t maximumOffset) {
    const double level = levelAtMaximum;
    return (0.4 * level - (level - kOffsetStep * maximumOffset)) / kOffsetStep;
}

WhiteClass ClassifyWhite(float white) {
    if (white < kWhiteLow) return WhiteClass::TooDark;
    if (white > kWhiteHigh) return WhiteClass::TooBright;
    return WhiteClass::Right;
}

double EstimateGain(double setting, float white) { return setting + (180.0 - white) / 123.0; }

double EstimateExposure(double setting, float white) { return setting + (180.0 - white) / 1.16; }

std::optional<double> FinalLineSetting(double s1, float w1, double s2, float w2) {
    return SolveOnLine(s1, w1, s2, w2, kWhiteTarget);
}

double ProbeExposure(double minimum, double maximum) { return minimum + (maximum - minimum) * 0.128; }

std::vector<int32_t> PixelOffsets(std::span<const float> means, float base) {
    std::vector<int32_t> out(means.size());
    std::transform(means.begin(), means.end(), out.begin(), [base](float m) {
        const double v = (static_cast<double>(m) - base) * 256.0;
        return std::isfinite(v) && v > 0.0 ? static_cast<int32_t>(std::lround(std::min(v, 65535.0))) : 0;
    });
    return out;
}

std::vector<float> PixelGains(std::span<const float> means) {
    std::vector<float> out(means.size());
    std::transform(means.begin(), means.end(), out.begin(), [](float m) {
        return kShadedWhite / (std::isfinite(m) && m > 1.0f ? m : 1.0f);
    });
    return out;
}

StripEdges FindStripEdges(std::span<const float> values, size_t from, size_t to, size_t inset) {
    to = std::min(to, values.size());
    StripEdges edges{from, to};
    if (from >= to) return edges;
    const auto differs = [&](size_t windowStart, size_t besideStart) {
        const double a = Mean(values.subspan(windowStart, kEdgeWindow));
        const double b = Mean(values.subspan(besideStart, kEdgeBeside));
        return std::fabs(a - b) >= kEdgeStep;
    };
    // Left: the window starts at i, the three pixels before it.
    if (from + inset + kEdgeWindow <= to) {
        for (size_t i = from + inset; i >= from + kEdgeBeside; --i) {
            if (differs(i, i - kEdgeBeside)) {
                edges.left = i + kEdgeInside;
                break;
            }
        }
    }
    // Right: the window ends at j, the three pixels after it.
    if (to >= inset + kEdgeWindow && to - inset >= from + kEdgeWindow) {
        for (size_t j = to - inset; j + kEdgeBeside <= to; ++j) {
            if (differs(j - kEdgeWindow, j)) {
                edges.right = j - kEdgeInside;
                break;
            }
        }
    }
    if (edges.left >= edges.right) edges = StripEdges{from, to};
    return edges;
}

void HoldGainsOutsideEdges(std::span<float> gains, size_t from, size_t to, StripEdges edges) {
    to = std::min(to, gains.size());
    const size_t left = std::max(edges.left, from);
    const size_t right = std::min(edges.right, to);
    if (left >= right) return;
    for (size_t i = from; i < left; ++i) gains[i] = gains[left];
    for (size_t i = right; i < to; ++i) gains[i] = gains[right - 1];
}

}  // namespace calibration
