#include "chips/CISModule.h"
#include "chips/GL841.h"
#include "chips/Motor.h"
#include "engine/calibration/MemoryCalibrationFile.h"
#include "RecordingPort.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr std::array<float, 3> kLineRates{1000.0f, 1000.0f, 1000.0f};  // maximum exposure 970000 ns

class GL841ShadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.chip[0x06] = 0x10;
        ASSERT_TRUE(chip.Init());
        chip.SetCisModule(&module, 2, kLineRates);
        port.Take();
    }

    RecordingPort port;
    CM651 module;
    GL841 chip{nullptr, &port, false};
};

TEST_F(GL841ShadingTest, SensorModuleSetsMaximaAndStagesItsRegisters) {
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(chip.GetMaxExposure(c), 970000u);
        EXPECT_EQ(chip.GetExposure(c), 970000u);
    }
    EXPECT_TRUE(port.log.empty()) << "a warm chip gets its values at the next flush";
    EXPECT_EQ(chip.ReadField(ChipDpiClassFlag, false), 1u) << "2 x 5184 pixels: the 1200 class";
    EXPECT_EQ(chip.ReadField(SensorModeFactor, false), 2u);
    EXPECT_EQ(chip.ReadField(LineStartOffset, false), 22u + 2 + 3);
    EXPECT_EQ(chip.ReadField(PowerBit, false), 1u);
}

TEST(GL841SensorTest, FreshChipIsMarkedAtOnce) {
    RecordingPort port;
    GL841 chip{nullptr, &port, false};
    CM635 module;
    chip.SetCisModule(&module, 1, kLineRates);
    // 2496 pixels: the 600 class.
    EXPECT_EQ(port.Take(), (std::vector<PortRequest>{Select(0x06), In(0x84), Out(0x83, {0x05, 0x00, 0x06, 0x10, 0x17, 0x02}),
                                                      Out(0x83, {0x34, 22 + 2 + 3})}));
}

TEST_F(GL841ShadingTest, ExposurePercentOutsideItsRangeKeepsTheOldValue) {
    ASSERT_TRUE(chip.SetExposurePercent(1, 50.0f));
    EXPECT_EQ(chip.GetExposure(1), 485000u);
    EXPECT_FLOAT_EQ(chip.GetExposurePercent(1), 50.0f);
    EXPECT_FALSE(chip.SetExposurePercent(1, -0.1f));
    EXPECT_FALSE(chip.SetExposurePercent(1, 100.1f));
    EXPECT_FALSE(chip.SetExposurePercent(3, 10.0f));
    EXPECT_EQ(chip.GetExposure(1), 485000u);
    ASSERT_TRUE(chip.SetExposurePercent(1, 0.0f));
    EXPECT_EQ(chip.GetExposure(1), 0u);
    EXPECT_FLOAT_EQ(chip.GetExposurePercent(7), 0.0f);
}

TEST_F(GL841ShadingTest, ShadingTablesCarryThreeLeadingEntries) {
    const int32_t offsets[] = {0x10001, 2, 3};
    chip.SetShadingOffsets(0, offsets);
    const float gains[] = {1.0f, 5.0f, -1.0f};
    port.chip[0x06] = 0x18;  // gain range 1: units of 16384 up to 3.99999
    chip.SetShadingGains(0, gains);
    EXPECT_EQ(chip.ShadingTable(0), (std::vector<uint32_t>{0, 0, 0, 0x40000001u, 0xFFFF0002u, 0x00000003u}));
    EXPECT_TRUE(chip.IsShadingDataPresent());

    port.chip[0x06] = 0x10;  // range 0: units of 8192 up to 7.99999
    const float wide[] = {5.0f, 9.0f};
    chip.SetShadingGains(3, wide);
    EXPECT_EQ(chip.ShadingTable(3), (std::vector<uint32_t>{0, 0, 0, 40960u << 16, 65535u << 16}));
    chip.SetShadingGains(9, wide);  // no such channel
}

TEST_F(GL841ShadingTest, GammaTablesShorterThan256EntriesAreRefused) {
    const std::vector<uint16_t> shortTable(255, 1);
    const std::vector<uint16_t> table(256, 2);
    chip.SetGammaTable(0, shortTable);
    EXPECT_TRUE(chip.GammaTable(0).empty());
    chip.SetGammaTable(0, table);
    EXPECT_EQ(chip.GammaTable(0), table);
    chip.SetGammaTable(0, {});
    EXPECT_TRUE(chip.GammaTable(0).empty());
}

TEST_F(GL841ShadingTest, CalibrationBlockRoundTripsAndClampsExposures) {
    chip.SetExposurePercent(0, 10.0f);
    const int32_t offsets[] = {7, 8};
    chip.SetShadingOffsets(2, offsets);
    MemoryCalibrationFile file;
    ASSERT_TRUE(chip.CalibrationData(&file, true));
    const std::vector<uint8_t> expected = {
        0xE8, 0x7A, 0x01, 0x00, 0x10, 0xCD, 0x0E, 0x00, 0x10, 0xCD, 0x0E, 0x00,  // 97000, 970000, 970000
        0, 0, 0, 0, 0, 0, 0, 0,                                               // tables 0, 1 empty
        2, 0, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0,                                   // table 2
        0, 0, 0, 0,                                                           // gray empty
    };
    EXPECT_EQ(file.Bytes(), expected);

    GL841 other{nullptr, &port, false};
    other.SetCisModule(&module, 2, std::array<float, 3>{2000.0f, 2000.0f, 2000.0f});  // maxima 470000
    ASSERT_TRUE(file.Seek(0));
    ASSERT_TRUE(other.CalibrationData(&file, false));
    EXPECT_EQ(other.GetExposure(0), 97000u);
    EXPECT_EQ(other.GetExposure(1), 470000u) << "clamped to the maximum";
    EXPECT_EQ(other.ShadingTable(2), (std::vector<uint32_t>{0, 0, 0, 7, 8}));
    EXPECT_EQ(other.ShadingTable(0).size(), 3u);
}

TEST_F(GL841ShadingTest, OversizedTableCountStopsTheRead) {
    const int32_t one[] = {1};
    for (uint32_t count : {0x10000u, 0x10001u}) {
        std::vector<uint8_t> bytes(12, 0);
        const uint8_t table0[] = {1, 0, 0, 0, 9, 0, 0, 0};
        bytes.insert(bytes.end(), std::begin(table0), std::end(table0));
        for (int b = 0; b < 4; ++b) {
            bytes.push_back(static_cast<uint8_t>(count >> (8 * b)));
        }
        if (count == 0x10000u) {
            bytes.resize(bytes.size() + 4 * count + 8, 0);  // the words, then two empty tables
        }
        GL841 target{nullptr, &port, false};
        target.SetShadingOffsets(1, one);
        MemoryCalibrationFile file(bytes);
        EXPECT_EQ(target.CalibrationData(&file, false), count == 0x10000u);
        EXPECT_EQ(target.ShadingTable(0), (std::vector<uint32_t>{0, 0, 0, 9})) << count;
        if (count == 0x10000u) {
            EXPECT_EQ(target.ShadingTable(1).size(), 0x10003u) << "the largest count is accepted";
        } else {
            EXPECT_EQ(target.ShadingTable(1), (std::vector<uint32_t>{0, 0, 0, 1})) << "table 1 keeps its contents";
        }
    }
}

TEST_F(GL841ShadingTest, SpeedLimitsFollowTheClockAndTheMotor) {
    FAN8200D_2 motor;
    chip.SetMotor(&motor);
    // 30 MHz / (600 x 15 x 65535)
    EXPECT_NEAR(chip.GetMinScanRate(600), 30e6 / (600.0 * 983025.0), 1e-6);
    EXPECT_NEAR(chip.GetMinScanRate(100), 30e6 / (100.0 * 983025.0), 1e-6);
    EXPECT_NEAR(chip.ComputeScanRate(), 30e6 / (600.0 * (27 + 5184 + 20) * 15.0), 1e-6);
}

TEST_F(GL841ShadingTest, ReservedOperationDoesNothing) {
    chip.ReservedOperation();
    EXPECT_TRUE(port.log.empty());
}

}  // namespace
