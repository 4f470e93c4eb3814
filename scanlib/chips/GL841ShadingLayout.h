// How the GL841 reduces a line from the sensor's optical resolution: the
// ratios it averages over, and the shading table laid out to match. The
// chip mode and the table layout decide by the same test, so they never
// disagree (400 or 500 dpi of 600 are sampled, not averaged).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gl841 {

inline constexpr size_t kShadingLeadingEntries = 3;

// The averaging group size when optical ÷ resolution is exactly one of
// 1, 2, 3, 4, 5, 6, 8, 10, 12 or 15; otherwise the chip samples.
std::optional<int> AveragingRatio(int opticalDpi, int resolution);

// The table reduced to the resolution, of the same length: a copy at ratio
// 1; for an averaging ratio r the means of groups of r entries (from entry 3
// on) at each group's last entry, zero elsewhere; when sampling, every entry
// moved down by one.
std::vector<uint32_t> BuildShadingTable(int opticalDpi, int resolution, std::span<const uint32_t> table);

}  // namespace gl841
