#include "engine/tone/ToneCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t kTableSize = 1024;

struct Settings {
    float gamma = 1.0f;
    uint32_t shadow = 0;
    uint32_t highlight = 255;
    int32_t brightness = 0;
    int32_t contrast = 0;
};

std::vector<uint8_t> Build(const Settings& s, uint32_t n = kTableSize)
{
    std::vector<uint8_t> table(n, 0xA5);
    BuildToneCurve(s.gamma, s.shadow, s.highlight, s.brightness, s.contrast, table.data(), n);
    return table;
}

bool NonDecreasing(const std::vector<uint8_t>& table)
{
    for (size_t k = 1; k < table.size(); ++k) {
        if (table[k] < table[k - 1]) {
            return false;
        }
    }
    return true;
}

TEST(ToneCurvePoint, PassesThroughEveryNode)
{
    const float x[5] = {12.0f, 40.25f, 68.5f, 96.75f, 125.0f};
    const float y[5] = {0.0f, 93.1f, 151.7f, 210.2f, 255.0f};
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(ToneCurvePoint(x[j], x, y), y[j]) << j;
    }
}

TEST(ToneCurvePoint, ReproducesAQuartic)
{
    // y = x^4 - 3x^2 + 2 at x = -2 .. 2.
    const auto quartic = [](float v) { return v * v * v * v - 3.0f * v * v + 2.0f; };
    const float x[5] = {-2.0f, -1.0f, 0.0f, 1.0f, 2.0f};
    float y[5];
    for (int j = 0; j < 5; ++j) {
        y[j] = quartic(x[j]);
    }
    for (float v : {-1.5f, -0.25f, 0.5f, 1.75f, 3.0f}) {
        EXPECT_NEAR(ToneCurvePoint(v, x, y), quartic(v), 1e-4f) << v;
    }
}

TEST(ToneCurve, NeutralSettingsGiveTheIdentityRamp)
{
    const std::vector<uint8_t> table = Build({});
    for (uint32_t k = 0; k < kTableSize; ++k) {
        ASSERT_EQ(table[k], static_cast<uint8_t>(255u * k / (kTableSize - 1))) << k;
    }
}

// Entries a case pins: index and value.
using Pins = std::vector<std::pair<uint32_t, uint8_t>>;

struct CurveCase {
    std::string name;
    Settings settings;
    Pins pins;
};

class ToneCurveCases : public ::testing::TestWithParam<CurveCase> {};

TEST_P(ToneCurveCases, PinnedEntriesAndShape)
{
    const CurveCase& c = GetParam();
    const std::vector<uint8_t> table = Build(c.settings);
    for (const auto& [index, value] : c.pins) {
        EXPECT_EQ(table[index], value) << "entry " << index;
    }
    EXPECT_TRUE(NonDecreasing(table));
}

// Values computed in single precision; a double-precision slope or node would
// move the steep cases' crossings.
INSTANTIATE_TEST_SUITE_P(
    Cases, ToneCurveCases,
    ::testing::Values(
        // Shadow 64, highlight 191: 0 up to 255, 255 from 768, a rise between.
        CurveCase{"ShadowAndHighlight", {1.0f, 64, 191, 0, 0},
                  {{0, 0}, {255, 0}, {256, 0}, {320, 31}, {512, 127}, {704, 223}, {767, 255}, {768, 255}, {1023, 255}}},
        // Contrast 100: an angle of 89.9 degrees, nearly a threshold at the middle.
        CurveCase{"SteepestContrast", {1.0f, 0, 255, 0, 100},
                  {{0, 0}, {510, 0}, {511, 56}, {512, 198}, {513, 255}, {1023, 255}}},
        // Contrast -100: -44 degrees flattens the ramp to a narrow band about the middle.
        CurveCase{"FlattestContrast", {1.0f, 0, 255, 0, -100},
                  {{0, 123}, {384, 126}, {512, 127}, {704, 129}, {1023, 131}}},
        // Brightness 100 adds 128: mid-gray saturates.
        CurveCase{"BrightestOffset", {1.0f, 0, 255, 100, 0}, {{0, 128}, {256, 191}, {509, 254}, {510, 255}, {1023, 255}}},
        CurveCase{"DarkestOffset", {1.0f, 0, 255, -100, 0}, {{0, 0}, {517, 0}, {518, 1}, {768, 63}, {1023, 127}}},
        CurveCase{"Gamma22", {2.2f, 0, 255, 0, 0}, {{0, 0}, {64, 48}, {256, 135}, {512, 186}, {768, 223}, {1023, 255}}},
        CurveCase{"Gamma09", {0.9f, 0, 255, 0, 0}, {{0, 0}, {256, 54}, {512, 118}, {768, 185}, {1023, 255}}},
        // The polynomial overshoots and falls back at large gamma; the table holds.
        CurveCase{"LargestGammaHolds", {10.7f, 0, 255, 0, 0}, {{320, 236}, {384, 240}, {640, 240}, {768, 248}, {896, 255}}},
        // The contrast term pivots at index span / 2, not at the middle of the span:
        // with shadow 64 (span 256 .. 1023) it pivots at 383.5, below the span.
        CurveCase{"PivotWithShadow", {1.0f, 64, 255, 0, 50}, {{259, 0}, {320, 5}, {384, 42}, {640, 191}, {766, 255}}},
        CurveCase{"PivotWithoutShadow", {1.0f, 0, 255, 0, 50}, {{257, 0}, {258, 1}, {511, 127}, {512, 127}, {768, 255}}}),
    [](const ::testing::TestParamInfo<CurveCase>& testCase) { return testCase.param.name; });

TEST(ToneCurve, NeverDecreasesAndStaysPinnedAtTheEnds)
{
    for (float gamma : {0.9f, 1.0f, 2.2f, 5.0f, 10.7f}) {
        for (uint32_t shadow : {0u, 10u, 100u, 254u}) {
            for (uint32_t highlight : {1u, 128u, 200u, 255u}) {
                if (highlight <= shadow) {
                    continue;
                }
                for (int32_t brightness : {-100, -30, 0, 60, 100}) {
                    for (int32_t contrast : {-100, -50, 0, 50, 100}) {
                        const Settings s{gamma, shadow, highlight, brightness, contrast};
                        const std::vector<uint8_t> table = Build(s);
                        const std::string where = testing::PrintToString(std::vector<float>{
                            gamma, float(shadow), float(highlight), float(brightness), float(contrast)});
                        ASSERT_TRUE(NonDecreasing(table)) << where;
                        const uint32_t lo = shadow * kTableSize / 256;
                        const uint32_t hi = (highlight + 1) * kTableSize / 256 - 1;
                        if (lo > 0) {
                            ASSERT_EQ(table[lo - 1], 0) << where;
                        }
                        if (hi + 1 < kTableSize) {
                            ASSERT_EQ(table[hi + 1], 255) << where;
                        }
                    }
                }
            }
        }
    }
}

struct OddCase {
    std::string name;
    Settings settings;
    uint32_t n;
    std::vector<uint8_t> table;
};

class ToneCurveOddInputs : public ::testing::TestWithParam<OddCase> {};

// Inputs the scan setup does not pass stay inside the table and give a step.
TEST_P(ToneCurveOddInputs, StayInsideTheTable)
{
    const OddCase& c = GetParam();
    std::vector<uint8_t> table(c.n + 2, 0xA5);
    BuildToneCurve(c.settings.gamma, c.settings.shadow, c.settings.highlight, c.settings.brightness,
                   c.settings.contrast, table.data() + 1, c.n);
    EXPECT_EQ(table.front(), 0xA5);
    EXPECT_EQ(table.back(), 0xA5);
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 1, table.end() - 1), c.table);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToneCurveOddInputs,
    ::testing::Values(OddCase{"ShadowAboveHighlight", {1.0f, 200, 100, 0, 0}, 8, {0, 0, 0, 255, 255, 255, 255, 255}},
                      OddCase{"ShadowEqualsHighlightSmallTable", {1.0f, 128, 128, 0, 0}, 4, {0, 0, 255, 255}},
                      OddCase{"OneEntry", {1.0f, 0, 100, 0, 0}, 1, {255}},
                      OddCase{"OneEntryFullRange", {1.0f, 0, 255, 0, 0}, 1, {255}},
                      OddCase{"ShadowBeyondTheScale", {1.0f, 300, 255, 0, 0}, 4, {0, 0, 0, 0}},
                      OddCase{"HighlightBeyondTheScale", {1.0f, 0, 400, 0, 0}, 4, {0, 85, 170, 255}},
                      OddCase{"EmptyTable", {}, 0, {}}),
    [](const ::testing::TestParamInfo<OddCase>& testCase) { return testCase.param.name; });

TEST(ToneCurve, GammaOutsideItsRangeStillGivesATable)
{
    for (float gamma : {0.0f, -1.0f}) {
        const std::vector<uint8_t> table = Build({gamma, 0, 255, 0, 0});
        EXPECT_TRUE(NonDecreasing(table)) << gamma;
        EXPECT_EQ(table.front(), 0) << gamma;
        EXPECT_EQ(table.back(), 255) << gamma;
    }
}

TEST(ToneCurve, GammaThatIsNotANumberGivesZerosInTheSpan)
{
    const std::vector<uint8_t> table = Build({std::numeric_limits<float>::quiet_NaN(), 64, 191, 0, 0});
    EXPECT_EQ(table, [] {
        std::vector<uint8_t> expected(kTableSize, 0);
        std::fill(expected.begin() + 768, expected.end(), uint8_t{255});
        return expected;
    }());
}

TEST(ToneCurve, NoEntriesOrNoTableWritesNothing)
{
    // A table of no entries is not touched, even where the caller's buffer
    // is longer; a null table is not written through (the sanitizer builds
    // would stop at the write).
    std::vector<uint8_t> table(kTableSize, 0xA5);
    BuildToneCurve(2.2f, 10, 200, 5, 5, table.data(), 0);
    EXPECT_EQ(table, std::vector<uint8_t>(kTableSize, 0xA5));
    BuildToneCurve(2.2f, 10, 200, 5, 5, nullptr, kTableSize);
    BuildToneCurve(2.2f, 10, 200, 5, 5, table.data(), kTableSize);
    EXPECT_NE(table, std::vector<uint8_t>(kTableSize, 0xA5)) << "the same call with a table writes it";
}

}  // namespace
