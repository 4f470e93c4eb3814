// The arithmetic of the calibration procedure, kept apart from the scanning
// so that every search, fit and per-pixel rule can be checked on its own.
// Values are 8-bit levels as floats (one mean per pixel).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace calibration {

// Pixels of the window that DarkLevel and WhiteLevel average.
inline constexpr size_t kLevelWindow = 16;

// The smallest mean of `window` consecutive values (the whole vector when
// shorter); nullopt for an empty vector.
std::optional<float> LowestWindowMean(std::span<const float> values, size_t window = kLevelWindow);
// The largest such mean.
std::optional<float> HighestWindowMean(std::span<const float> values, size_t window = kLevelWindow);

// The listed value nearest to target: the list is walked in order and the
// walk stops when the distance grows; a tie keeps the earlier value.
// nullopt for an empty list.
std::optional<int32_t> NearestListed(std::span<const int32_t> items, int32_t target);

// x where the line through (x1, y1) and (x2, y2) reaches y. nullopt when the
// points do not define a slope (equal x, equal y) or anything is not finite.
std::optional<double> SolveOnLine(double x1, double y1, double x2, double y2, double y);

// Rounds to the nearest integer (halves away from zero) and limits to
// [minimum, maximum]; nullopt for a value that is not finite.
std::optional<int32_t> RoundInto(double value, int32_t minimum, int32_t maximum);

// Reference voltage. The dark level A measured at code v points to the next
// code to try, round(v + A / 29).
double NextReferenceCode(int32_t code, float darkLevel);
// From the two measurements, the code that puts the dark level at 1.8.
// When the second code equals the first the current code is kept. nullopt
// when the two measurements give no usable line.
std::optional<double> FinalReferenceCode(int32_t code, float level, int32_t nextCode, float nextLevel);

// The dark level the procedure aims at.
inline constexpr float kDarkTarget = 1.8f;
// A channel whose second dark level is above this is solved on the line.
inline constexpr float kDarkRetryAbove = 3.6f;
// The front end's offset step in levels per code at unity gain.
inline constexpr double kOffsetStep = 0.175;

// The offset estimate after a measurement at the maximum offset.
double EstimateOffset(float levelAtMaximum, int32_t maximumOffset);

// White-level classes of one channel.
enum class WhiteClass { TooDark, Right, TooBright };
inline constexpr float kWhiteLow = 222.0f;
inline constexpr float kWhiteHigh = 228.0f;
inline constexpr float kWhiteTarget = 225.0f;
WhiteClass ClassifyWhite(float white);

// The second setting of the line-gain fit (before limiting): for a gain
// s1 + (180 - W1) / 123, for an exposure s1 + (180 - W1) / 1.16.
double EstimateGain(double setting, float white);
double EstimateExposure(double setting, float white);
// The setting that reaches the white target on the line through the two
// measurements; nullopt when they give no usable slope.
std::optional<double> FinalLineSetting(double s1, float w1, double s2, float w2);

// The probe exposure of a too-bright channel.
double ProbeExposure(double minimum, double maximum);

// Per-pixel dark offsets in 1/256 levels: max(0, (mean - base) x 256).
std::vector<int32_t> PixelOffsets(std::span<const float> means, float base);
// Per-pixel gains that bring each mean to 247 (a mean of 1 or less counts as 1).
inline constexpr float kShadedWhite = 247.0f;
std::vector<float> PixelGains(std::span<const float> means);

// The bright region of a gain vector between from and to (exclusive): from
// each end, inset by `inset` pixels, a 14-pixel window is compared with the
// 3 pixels beside it, moving outward; the first difference of 0.5 or more
// puts the edge 10 pixels inside. Ends without a difference stay at the range.
struct StripEdges {
    size_t left = 0;   // first pixel kept
    size_t right = 0;  // one past the last pixel kept
    bool operator==(const StripEdges&) const = default;
};
StripEdges FindStripEdges(std::span<const float> values, size_t from, size_t to, size_t inset);

// The columns of [from, to) outside the edges saw no calibration sheet:
// each takes the gain of the nearest column inside them, so a page wider
// than the sheet keeps its edges instead of turning them black.
void HoldGainsOutsideEdges(std::span<float> gains, size_t from, size_t to, StripEdges edges);

}  // namespace calibration
