#include "chips/GL841ShadingLayout.h"

#include <algorithm>
#include <array>

namespace gl841 {

namespace {

constexpr std::array<int, 10> kAveragingRatios = {1, 2, 3, 4, 5, 6, 8, 10, 12, 15};

}  // namespace

std::optional<int> AveragingRatio(int opticalDpi, int resolution) {
    if (opticalDpi <= 0 || resolution <= 0 || opticalDpi % resolution != 0) {
        return std::nullopt;
    }
    const int ratio = opticalDpi / resolution;
    if (std::find(kAveragingRatios.begin(), kAveragingRatios.end(), ratio) == kAveragingRatios.end()) {
        return std::nullopt;
    }
    return ratio;
}

std::vector<uint32_t> BuildShadingTable(int opticalDpi, int resolution, std::span<const uint32_t> table) {
    std::vector<uint32_t> out(table.size(), 0);
    const std::optional<int> ratio = AveragingRatio(opticalDpi, resolution);
    if (ratio == 1) {
        std::copy(table.begin(), table.end(), out.begin());
        return out;
    }
    if (!ratio) {
        if (!table.empty()) {
            std::copy(table.begin() + 1, table.end(), out.begin());
        }
        return out;
    }
    const auto r = static_cast<size_t>(*ratio);
    for (size_t first = kShadingLeadingEntries; first + r <= table.size(); first += r) {
        uint64_t offsets = 0;
        uint64_t gains = 0;
        for (size_t i = first; i < first + r; ++i) {
            offsets += table[i] & 0xFFFFu;
            gains += table[i] >> 16;
        }
        out[first + r - 1] = static_cast<uint32_t>(offsets / r) | (static_cast<uint32_t>(gains / r) << 16);
    }
    return out;
}

}  // namespace gl841
