#include "engine/calibration/CalibrationMath.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace calibration;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A flat line with one run of another level.
std::vector<float> LineWithRun(size_t n, float level, size_t runStart, size_t runLength, float runLevel) {
    std::vector<float> v(n, level);
    for (size_t i = runStart; i < runStart + runLength && i < n; ++i) v[i] = runLevel;
    return v;
}

TEST(WindowMeanTest, LowestAndHighestSixteenPixelMeans) {
    // A dip of 16 pixels at 2 in a line of 10; a single low pixel alone
    // does not make the lowest window.
    std::vector<float> v = LineWithRun(100, 10.0f, 40, 16, 2.0f);
    v[5] = -50.0f;
    EXPECT_FLOAT_EQ(*LowestWindowMean(v), 2.0f);
    const std::vector<float> bright = LineWithRun(100, 200.0f, 60, 16, 226.0f);
    EXPECT_FLOAT_EQ(*HighestWindowMean(bright), 226.0f);
}

TEST(WindowMeanTest, ShortAndEmptyVectors) {
    const std::array<float, 4> shortLine{1.0f, 2.0f, 3.0f, 6.0f};
    EXPECT_FLOAT_EQ(*LowestWindowMean(shortLine), 3.0f);
    EXPECT_FLOAT_EQ(*HighestWindowMean(shortLine), 3.0f);
    EXPECT_FALSE(LowestWindowMean(std::span<const float>{}).has_value());
    EXPECT_FALSE(HighestWindowMean(std::span<const float>{}).has_value());
}

struct NearestCase {
    std::vector<int32_t> items;
    int32_t target;
    int32_t expected;
};

TEST(NearestListedTest, WalksInOrderAndKeepsTheEarlierOnATie) {
    const std::vector<NearestCase> cases{
        {{75, 100, 150, 200, 300, 600}, 150, 150},
        {{75, 100, 200, 300, 600}, 150, 100},  // tie 100/200: the earlier
        {{100, 125, 200, 300}, 150, 125},
        {{300, 600}, 150, 300},
        {{600, 300, 150}, 150, 150},
        {{200, 600, 150}, 150, 200},  // the walk stops when the distance grows
    };
    for (const NearestCase& c : cases) {
        EXPECT_EQ(NearestListed(c.items, c.target), c.expected) << c.target;
    }
    EXPECT_FALSE(NearestListed({}, 150).has_value());
}

TEST(LineFitTest, SolvesOnTheLineAndRefusesFlatOrNonFiniteInput) {
    EXPECT_DOUBLE_EQ(*SolveOnLine(0, 0, 10, 20, 5), 2.5);
    EXPECT_NEAR(*SolveOnLine(127, 22.9, 48, 9.075, 1.8), 48 - 7.275 / 0.175, 1e-9);
    EXPECT_FALSE(SolveOnLine(1, 5, 1, 7, 3).has_value());    // equal settings
    EXPECT_FALSE(SolveOnLine(1, 5, 2, 5, 3).has_value());    // zero slope
    EXPECT_FALSE(SolveOnLine(1, kNaN, 2, 5, 3).has_value());
    EXPECT_FALSE(SolveOnLine(1, 5, 2, std::numeric_limits<double>::infinity(), 3).has_value());
}

TEST(LineFitTest, RoundIntoLimitsAndRefusesNaN) {
    EXPECT_EQ(RoundInto(2.5, 0, 15), 3);
    EXPECT_EQ(RoundInto(-2.5, -128, 127), -3);
    EXPECT_EQ(RoundInto(40.0, 0, 15), 15);
    EXPECT_EQ(RoundInto(-1.0, 0, 15), 0);
    EXPECT_FALSE(RoundInto(std::nan(""), 0, 15).has_value());
}

struct VrefCase {
    int32_t code;
    float level;
    int32_t nextCode;
    float nextLevel;
    double expected;
};

TEST(ReferenceVoltageTest, StepsAndFinalCode) {
    // The lamp-off dark of 56.7 at code 0 points two codes on.
    EXPECT_DOUBLE_EQ(NextReferenceCode(0, 56.7f), 2.0);
    EXPECT_DOUBLE_EQ(NextReferenceCode(2, 0.7f), 2.0);
    const std::vector<VrefCase> cases{
        {0, 56.7f, 2, 0.7f, (1.8 - 56.7) / -28.0},
        {4, 30.0f, 5, 2.0f, 4 + (1.8 - 30.0) / -28.0},
        // No step taken: the code stays (a repeated calibration starts at
        // the code it found last time).
        {2, 0.7f, 2, 0.7f, 2.0},
        {0, 0.0f, 0, 0.0f, 0.0},
    };
    for (const VrefCase& c : cases) {
        const auto got = FinalReferenceCode(c.code, c.level, c.nextCode, c.nextLevel);
        ASSERT_TRUE(got.has_value()) << c.code;
        EXPECT_NEAR(*got, c.expected, 1e-5) << c.code;
    }
    // Two codes that measure the same level give no line.
    EXPECT_FALSE(FinalReferenceCode(0, 0.0f, 1, 0.0f).has_value());
}

TEST(OffsetTest, EstimateAimsAtTwoFifthsOfTheLevelAtMaximum) {
    // A level of 0.7 at offset 0 is 22.925 at offset 127.
    EXPECT_NEAR(EstimateOffset(22.925f, 127), (0.4 * 22.925 - 0.7) / 0.175, 1e-3);
    EXPECT_NEAR(EstimateOffset(0.175f * 100, 100), 40.0, 1e-3);
}

TEST(LineGainTest, ClassesAndEstimates) {
    const std::vector<std::pair<float, WhiteClass>> classes{
        {150.0f, WhiteClass::TooDark}, {221.99f, WhiteClass::TooDark}, {222.0f, WhiteClass::Right},
        {228.0f, WhiteClass::Right},   {228.01f, WhiteClass::TooBright}, {241.0f, WhiteClass::TooBright},
    };
    for (const auto& [white, expected] : classes) EXPECT_EQ(ClassifyWhite(white), expected) << white;
    EXPECT_DOUBLE_EQ(EstimateGain(0.735, 111.0f), 0.735 + 69.0 / 123.0);
    EXPECT_DOUBLE_EQ(EstimateExposure(12.8, 30.0f), 12.8 + 150.0 / 1.16);
    EXPECT_DOUBLE_EQ(ProbeExposure(0.0, 100.0), 12.8);
    EXPECT_DOUBLE_EQ(*FinalLineSetting(1.0, 150.0f, 2.0, 200.0f), 2.5);
    EXPECT_FALSE(FinalLineSetting(0.735, 150.0f, 0.735, 150.0f).has_value());
    EXPECT_FALSE(FinalLineSetting(0.5, 150.0f, 1.0, 150.0f).has_value());
}

TEST(PixelTablesTest, OffsetsAreNonNegativeIn256thsOfALevel) {
    const std::array<float, 5> dark{0.8f, 2.8f, 0.0f, 1.05f, kNaN};
    const std::vector<int32_t> offsets = PixelOffsets(dark, 0.8f);
    EXPECT_EQ(offsets, (std::vector<int32_t>{0, 512, 0, 64, 0}));
    EXPECT_EQ(PixelOffsets(dark, 0.0f)[1], 717);  // 2.8 x 256 = 716.8, rounded
}

TEST(PixelTablesTest, GainsBringTheMeanToTheShadedWhite) {
    const std::array<float, 5> white{247.0f, 123.5f, 1.0f, 0.0f, kNaN};
    const std::vector<float> gains = PixelGains(white);
    EXPECT_FLOAT_EQ(gains[0], 1.0f);
    EXPECT_FLOAT_EQ(gains[1], 2.0f);
    EXPECT_FLOAT_EQ(gains[2], 247.0f);
    EXPECT_FLOAT_EQ(gains[3], 247.0f);
    EXPECT_FLOAT_EQ(gains[4], 247.0f);
}

struct EdgeCase {
    const char* name;
    std::vector<float> values;
    size_t from, to, inset;
    StripEdges expected;
};

TEST(StripEdgesTest, EdgesOfTheBrightRegion) {
    // Gains: 1 over the sheet, 2.8 over the backing either side.
    std::vector<float> sheet(400, 2.8f);
    for (size_t i = 60; i < 350; ++i) sheet[i] = 1.0f;
    std::vector<float> duplexHalf(800, 2.8f);
    for (size_t i = 430; i < 770; ++i) duplexHalf[i] = 1.0f;
    const std::vector<EdgeCase> cases{
        // The first of the 3 pixels beside the window to reach the backing
        // (59, 350) moves their mean by 0.6; the edge lies 10 pixels inside.
        {"sheet", sheet, 0, 400, 100, {72, 338}},
        {"no edge keeps the ends", std::vector<float>(300, 1.0f), 0, 300, 100, {0, 300}},
        {"second half of a wide line", duplexHalf, 400, 800, 100, {442, 758}},
        {"a step below 0.5 is no edge", LineWithRun(300, 1.0f, 0, 40, 1.4f), 0, 300, 100, {0, 300}},
        {"range too short to search", std::vector<float>(20, 1.0f), 0, 20, 100, {0, 20}},
    };
    for (const EdgeCase& c : cases) {
        EXPECT_EQ(FindStripEdges(c.values, c.from, c.to, c.inset), c.expected) << c.name;
    }
}

// Columns the calibration sheet did not cover take the nearest covered
// column's gain, never 0 (a black band at the page's sides); the other half
// of a wide line is left alone.
TEST(StripEdgesTest, GainsOutsideTheEdgesHoldTheNearestCoveredGain) {
    std::vector<float> gains{9, 9, 1.1f, 1, 1, 1, 1.2f, 9, 9, 9, 5, 5};
    HoldGainsOutsideEdges(gains, 0, 10, StripEdges{2, 7});
    EXPECT_EQ(gains, (std::vector<float>{1.1f, 1.1f, 1.1f, 1, 1, 1, 1.2f, 1.2f, 1.2f, 1.2f, 5, 5}));

    std::vector<float> whole{2, 3, 4};
    HoldGainsOutsideEdges(whole, 0, 3, StripEdges{0, 3});
    EXPECT_EQ(whole, (std::vector<float>{2, 3, 4}));
}

}  // namespace
