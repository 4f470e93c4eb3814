#include "chips/WM8199.h"
#include "engine/calibration/MemoryCalibrationFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct GainCase {
    double gain;
    int code;
};

class GainCodeTest : public ::testing::TestWithParam<GainCase> {};

TEST_P(GainCodeTest, ConvertsWithinTheCodeRange) { EXPECT_EQ(WM8199::GainCode(GetParam().gain), GetParam().code); }

INSTANTIATE_TEST_SUITE_P(
    Gains, GainCodeTest,
    ::testing::Values(GainCase{1.0, 75}, GainCase{0.7349823, 0}, GainCase{0.5, 0}, GainCase{0.0, 0},
                      GainCase{-2.0, 0}, GainCase{std::numeric_limits<double>::quiet_NaN(), 0},
                      GainCase{7.428571, 255}, GainCase{100.0, 255}, GainCase{2.0, 179}, GainCase{0.75, 6}));

TEST(WM8199Test, GainRoundTripsThroughItsCode) {
    WM8199 afe;
    afe.SetGain(1, 1.0f);
    EXPECT_FLOAT_EQ(afe.GetGain(1), 1.0f);
    afe.SetGain(1, 0.0f);  // the property's range starts at 0
    EXPECT_FLOAT_EQ(afe.GetGain(1), afe.GetGainMin());
    afe.SetGain(1, 50.0f);
    EXPECT_NEAR(afe.GetGain(1), afe.GetGainMax(), 1e-5);
}

TEST(WM8199Test, OffsetsAreClampedToTheirRange) {
    WM8199 afe;
    for (auto [set, got] : {std::pair{-128, -128}, {127, 127}, {0, 0}, {-300, -128}, {300, 127}}) {
        afe.SetOffset(0, set);
        EXPECT_EQ(afe.GetOffset(0), got) << set;
    }
    afe.SetOffset(0, -128);
    EXPECT_EQ(afe.Registers()[6].value, 0) << "stored as value + 128";
}

TEST(WM8199Test, ReferenceVoltageIsClampedAndKeepsTheHighNibble) {
    WM8199 afe;
    afe.SetReferenceVoltage(9);
    EXPECT_EQ(afe.GetReferenceVoltage(), 9);
    EXPECT_EQ(afe.Registers()[2].value, 0x19);
    afe.SetReferenceVoltage(17);
    EXPECT_EQ(afe.GetReferenceVoltage(), 15);
    afe.SetReferenceVoltage(-1);
    EXPECT_EQ(afe.GetReferenceVoltage(), 0);
    EXPECT_EQ(afe.Registers()[2].value, 0x10);
}

TEST(WM8199Test, SingleChannelModeRoutesTheChosenChannelThroughChannelZero) {
    WM8199 afe;
    afe.SetOffset(0, 10);
    afe.SetGain(0, 1.0f);
    afe.SetOffset(2, -20);
    afe.SetGain(2, 2.0f);
    afe.SetOffset(3, 5);
    afe.SetChannelMode(false, 2);
    EXPECT_EQ(afe.Registers()[3].value, 5);
    EXPECT_EQ(afe.Registers()[6].value, 108);
    EXPECT_EQ(afe.Registers()[9].value, 179);
    afe.SetChannelMode(false, 3);
    EXPECT_EQ(afe.Registers()[6].value, 133);
    afe.SetChannelMode(true, 3);
    EXPECT_EQ(afe.Registers()[3].value, 7);
    EXPECT_EQ(afe.Registers()[6].value, 138) << "colour takes the stored channel-0 values";
    EXPECT_EQ(afe.Registers()[9].value, 75);
}

TEST(WM8199GLTest, ColourChannelsMapToTheChipsOrder) {
    WM8199GL afe;
    afe.SetOffset(2, 33);  // chip channel 0
    EXPECT_EQ(afe.Registers()[6].value, 161);
    afe.SetOffset(0, 1);  // chip channel 1
    EXPECT_EQ(afe.Registers()[7].value, 129);
    afe.SetGain(1, 2.0f);  // chip channel 2
    EXPECT_EQ(afe.Registers()[11].value, 179);
    afe.SetOffset(3, -3);
    EXPECT_EQ(afe.GetOffset(3), -3);
    EXPECT_EQ(afe.GetOffset(2), 33);
    afe.SetChannelMode(false, 0);  // chip channel 1 into the channel-0 registers
    EXPECT_EQ(afe.Registers()[6].value, 129);
}

TEST(WM8199Test, CalibrationBlockRoundTrips) {
    WM8199 source;
    source.SetOffset(0, -10);
    source.SetOffset(1, 20);
    source.SetOffset(2, -30);
    source.SetOffset(3, 40);
    source.SetGain(0, 1.0f);
    source.SetGain(1, 2.0f);
    source.SetGain(2, 0.0f);
    source.SetGain(3, 100.0f);
    source.SetReferenceVoltage(6);
    MemoryCalibrationFile file;
    ASSERT_TRUE(source.CalibrationData(&file, true));
    EXPECT_EQ(file.Bytes(), (std::vector<uint8_t>{118, 148, 98, 168, 75, 179, 0, 255, 6}));

    WM8199 target;
    ASSERT_TRUE(file.Seek(0));
    ASSERT_TRUE(target.CalibrationData(&file, false));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(target.GetOffset(c), source.GetOffset(c)) << c;
        EXPECT_FLOAT_EQ(target.GetGain(c), source.GetGain(c)) << c;
    }
    EXPECT_EQ(target.GetReferenceVoltage(), 6);

    MemoryCalibrationFile shortFile(std::vector<uint8_t>(8, 0));
    EXPECT_FALSE(target.CalibrationData(&shortFile, false));
    EXPECT_EQ(target.GetOffset(1), 20) << "a short block changes nothing";
}

TEST(WM8199Test, WritesNothingWithoutAController) {
    WM8199 afe;
    EXPECT_FALSE(afe.WriteAllRegisters());
}

}  // namespace
