// The chip tone tables built from the tone properties.
#include "engine/model/ToneTables.h"

#include "engine/tone/ToneCurve.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// What the GL841 makes of a 16-bit input with an ascending threshold table.
int Gl841Output(const std::vector<uint16_t>& t, uint32_t x) {
    int out = 0;
    for (size_t v = 1; v < t.size(); ++v) out += t[v] <= x ? 1 : 0;
    return out;
}

TEST(ToneTablesTest, NoAdjustmentGivesNoTableAndInvertAloneADescendingRamp) {
    ToneSettings plain;
    EXPECT_TRUE(BuildChipToneTable(plain, false).empty());
    plain.invert = true;
    const auto t = BuildChipToneTable(plain, false);
    ASSERT_EQ(t.size(), 256u);
    EXPECT_EQ(t[0], 255u << 8);
    EXPECT_EQ(t[255], 0u);
}

TEST(ToneTablesTest, Gl841TableReproducesTheCurveOnTheChip) {
    ToneSettings s;
    s.gamma = 1.8f;
    s.brightness = 10;
    std::array<uint8_t, kToneCurveSize> curve{};
    BuildToneCurve(s.gamma, 0, 255, s.brightness, 0, curve.data(), kToneCurveSize);
    const auto t = BuildChipToneTable(s, false);
    ASSERT_EQ(t.size(), 256u);
    EXPECT_EQ(t[0], 0u);
    for (uint32_t i = 0; i < kToneCurveSize; i += 7) {
        const uint32_t x = i * 64;  // the input at curve index i
        EXPECT_EQ(Gl841Output(t, x), curve[i]) << i;
    }
}

TEST(ToneTablesTest, LevelsTheCurveNeverReachesStayUnreachable) {
    std::array<uint8_t, kToneCurveSize> curve{};
    curve.fill(100);
    const auto t = InverseToneTable(curve.data());
    EXPECT_EQ(t[100], 0u);
    EXPECT_EQ(t[101], 0xFFFF);
    EXPECT_EQ(t[255], 0xFFFF);
}

TEST(ToneTablesTest, Gl125TableSamplesTheCurveOnSixteenBits) {
    ToneSettings s;
    s.gamma = 2.2f;
    std::array<uint8_t, kToneCurveSize> curve{};
    BuildToneCurve(s.gamma, 0, 255, 0, 0, curve.data(), kToneCurveSize);
    const auto t = BuildChipToneTable(s, true);
    ASSERT_EQ(t.size(), 256u);
    for (uint32_t k = 0; k < 256; ++k) EXPECT_EQ(t[k], curve[k * 4] << 8) << k;
    s.invert = true;
    const auto inverted = BuildChipToneTable(s, true);
    for (uint32_t k = 0; k < 256; ++k) EXPECT_EQ(inverted[k], static_cast<uint16_t>(~t[k])) << k;
}

}  // namespace
