// The shading table laid out for each resolution, as tables of cases.
#include "chips/GL841ShadingLayout.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<uint32_t> Numbered(size_t n) {
    std::vector<uint32_t> t(n);
    for (size_t i = 0; i < n; ++i) {
        t[i] = static_cast<uint32_t>(i) | (static_cast<uint32_t>(1000 + i) << 16);
    }
    return t;
}

TEST(GL841ShadingLayoutTest, AveragingOnlyOverExactListedRatios) {
    const struct {
        int resolution;
        int ratio;  // 0: sampled
    } cases[] = {{600, 1}, {300, 2}, {200, 3}, {150, 4}, {120, 5}, {100, 6}, {75, 8}, {60, 10}, {50, 12},
                 {40, 15}, {500, 0}, {400, 0}, {250, 0}, {240, 0}, {85, 0}, {30, 0}, {0, 0}, {1200, 0}};
    for (const auto& c : cases) {
        const auto ratio = gl841::AveragingRatio(600, c.resolution);
        EXPECT_EQ(ratio.value_or(0), c.ratio) << c.resolution << " dpi";
    }
}

TEST(GL841ShadingLayoutTest, GroupsOfFourAtAQuarterOfTheOpticalResolution) {
    const std::vector<uint32_t> in = Numbered(3 + 10);
    const std::vector<uint32_t> out = gl841::BuildShadingTable(600, 150, in);
    ASSERT_EQ(out.size(), in.size());
    for (size_t i = 0; i < out.size(); ++i) {
        if (i == 6) {
            EXPECT_EQ(out[i], 4u | (1004u << 16)) << "mean of entries 3 to 6";
        } else if (i == 10) {
            EXPECT_EQ(out[i], 8u | (1008u << 16)) << "mean of entries 7 to 10";
        } else {
            EXPECT_EQ(out[i], 0u) << "entry " << i << " (11 and 12 are an incomplete group)";
        }
    }
}

TEST(GL841ShadingLayoutTest, FullResolutionCopiesAndSampledResolutionsShiftByOne) {
    const std::vector<uint32_t> in = Numbered(20);
    EXPECT_EQ(gl841::BuildShadingTable(600, 600, in), in);
    for (int resolution : {400, 500, 250}) {
        const std::vector<uint32_t> out = gl841::BuildShadingTable(600, resolution, in);
        for (size_t i = 0; i + 1 < in.size(); ++i) {
            EXPECT_EQ(out[i], in[i + 1]) << resolution << " dpi entry " << i;
        }
        EXPECT_EQ(out.back(), 0u);
    }
    EXPECT_TRUE(gl841::BuildShadingTable(600, 400, {}).empty());
}

}  // namespace
