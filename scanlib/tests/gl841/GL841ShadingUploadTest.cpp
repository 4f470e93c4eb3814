// Exposure, shading and gamma as the virtual scanner receives them: the
// exposure registers per colour, the shading memory at each resolution and
// the image it shades, the gamma slots, and when shading is switched on.
#include "GL841Rig.h"

#include "chips/GL841ShadingLayout.h"
#include "engine/calibration/MemoryCalibrationFile.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace {

using gl841_test::Rig;

constexpr int kPixels = 2 * 5184;  // RM410: both sensors
constexpr uint32_t kLead = 50;     // at 30 MHz

enum Mode { kGray = 1, kColour = 2 };

class GL841ShadingUploadTest : public ::testing::Test {
protected:
    void Configure(Mode mode, int resolution, int width, int lines = 2) {
        GL841& chip = *rig.chip;
        chip.SetColorMode(mode);
        chip.SetXResolution(resolution);
        chip.SetBitsPerPixel(mode == kColour ? 24 : 8);
        chip.SetScanWidth(width);
        chip.SetScanLength(lines);
        chip.SetScanRate(mode == kColour ? 0.3f : 1.0f);  // both at 30 MHz
    }

    void SetTable(int channel, int32_t offset, float gain) {
        rig.chip->SetShadingOffsets(channel, std::vector<int32_t>(kPixels, offset));
        rig.chip->SetShadingGains(channel, std::vector<float>(kPixels, gain));
    }

    std::vector<uint32_t> ChipEntries(uint32_t address, size_t entries) const {
        const std::vector<uint16_t> words = rig.scanner.ShadingWords(address, static_cast<uint32_t>(2 * entries));
        std::vector<uint32_t> out(entries);
        for (size_t e = 0; e < entries; ++e) {
            out[e] = words[2 * e] | (static_cast<uint32_t>(words[2 * e + 1]) << 16);
        }
        return out;
    }

    bool ShadingOn() const { return rig.Bit(0x01, 5); }

    Rig rig{gl841_test::RM410()};
};

TEST_F(GL841ShadingUploadTest, ColourExposurePerColour) {
    ASSERT_TRUE(rig.chip->SetExposurePercent(0, 100.0f));
    ASSERT_TRUE(rig.chip->SetExposurePercent(1, 50.0f));
    ASSERT_TRUE(rig.chip->SetExposurePercent(2, 0.0f));
    Configure(kColour, 300, 1200, 20);
    ASSERT_TRUE(rig.chip->SetupScan());
    // 970 000 ns at 30 MHz is 1940 counts of 15 clocks.
    EXPECT_EQ(rig.Field(0x10, 2), kLead + 1940);
    EXPECT_EQ(rig.Field(0x12, 2), kLead + 970);
    EXPECT_EQ(rig.Field(0x14, 2), kLead + 1) << "no exposure: one count";
    EXPECT_EQ(rig.scanner.AfeRegister(0x06), 7) << "front end in colour mode";

    // The planes come out in the order of their exposures.
    const std::vector<uint8_t> image = rig.ReadLines(20, 3 * 1200);
    ASSERT_EQ(image.size(), 20u * 3 * 1200);
    std::array<double, 3> mean{};
    for (size_t line = 10; line < 20; ++line) {
        for (size_t plane = 0; plane < 3; ++plane) {
            const auto* p = image.data() + (line * 3 + plane) * 1200;
            mean[plane] += std::accumulate(p + 300, p + 900, 0.0) / 600.0;
        }
    }
    EXPECT_GT(mean[0], mean[1] + 5.0);
    EXPECT_GT(mean[1], mean[2] + 5.0);
    rig.chip->StopScan();
}

struct MonoCase {
    int code;
    std::array<float, 3> percent;
    std::array<uint32_t, 3> ends;
};

TEST_F(GL841ShadingUploadTest, GrayLampPeriodsFollowEachOther) {
    const MonoCase cases[] = {
        {4, {100.0f, 100.0f, 100.0f}, {kLead + 646, kLead + 1292, kLead + 1938}},
        {1, {100.0f, 100.0f, 100.0f}, {kLead + 1, kLead + 1 + 1940, kLead + 1942}},
        {0, {50.0f, 100.0f, 100.0f}, {kLead + 970, kLead + 971, kLead + 972}},
        {3, {100.0f, 100.0f, 100.0f}, {kLead + 1, kLead + 2, kLead + 3}},  // no such channel: nothing lit
    };
    for (const MonoCase& c : cases) {
        for (int colour = 0; colour < 3; ++colour) {
            ASSERT_TRUE(rig.chip->SetExposurePercent(colour, c.percent[static_cast<size_t>(colour)]));
        }
        rig.chip->SetMonoChannel(c.code);
        Configure(kGray, 300, 600);
        ASSERT_TRUE(rig.chip->SetupScan());
        EXPECT_EQ(rig.Field(0x10, 2), c.ends[0]) << "code " << c.code;
        EXPECT_EQ(rig.Field(0x12, 2), c.ends[1]) << "code " << c.code;
        EXPECT_EQ(rig.Field(0x14, 2), c.ends[2]) << "code " << c.code;
        rig.chip->StopScan();
    }
}

class GL841ShadingResolutionTest : public ::testing::TestWithParam<int> {};

TEST_P(GL841ShadingResolutionTest, EveryPixelFindsItsOwnEntry) {
    // Unit gains everywhere except where the layout leaves zeros: a pixel
    // shaded with the wrong entry comes out black.
    const int resolution = GetParam();
    Rig rig(gl841_test::RM410());
    GL841& chip = *rig.chip;
    chip.SetShadingOffsets(3, std::vector<int32_t>(kPixels, 0));
    chip.SetShadingGains(3, std::vector<float>(kPixels, 1.0f));
    chip.SetColorMode(kGray);
    chip.SetXResolution(resolution);
    chip.SetBitsPerPixel(8);
    const int width = 5184 * resolution / 600;
    chip.SetScanWidth(width);
    chip.SetScanLength(3);
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_TRUE(rig.Bit(0x01, 5)) << "shading on";
    const std::vector<uint32_t> expected = gl841::BuildShadingTable(600, resolution, chip.ShadingTable(3));
    const std::vector<uint16_t> words = rig.scanner.ShadingWords(0, static_cast<uint32_t>(2 * expected.size()));
    for (size_t e = 0; e < expected.size(); ++e) {
        ASSERT_EQ(words[2 * e] | (static_cast<uint32_t>(words[2 * e + 1]) << 16), expected[e]) << "entry " << e;
    }
    const std::vector<uint8_t> image = rig.ReadLines(3, static_cast<size_t>(width));
    ASSERT_EQ(image.size(), 3u * static_cast<size_t>(width));
    const auto darkest = std::min_element(image.begin(), image.end());
    EXPECT_GT(*darkest, 20) << "pixel " << (darkest - image.begin()) % width << " at " << resolution << " dpi";
    chip.StopScan();
}

INSTANTIATE_TEST_SUITE_P(Resolutions, GL841ShadingResolutionTest,
                         ::testing::Values(75, 100, 150, 200, 240, 250, 300, 400, 500, 600));

TEST_F(GL841ShadingUploadTest, ColourTablesGoToTheirChannelsRegions) {
    SetTable(0, 1, 1.0f);
    SetTable(1, 2, 1.5f);
    SetTable(2, 3, 0.5f);
    Configure(kColour, 300, 1200);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_TRUE(ShadingOn());
    const std::array<uint32_t, 3> addresses = {0, 0x5500, 0xAA00};  // the 1200 class
    for (size_t c = 0; c < 3; ++c) {
        const std::vector<uint32_t> expected =
            gl841::BuildShadingTable(600, 300, rig.chip->ShadingTable(static_cast<int>(c)));
        EXPECT_EQ(ChipEntries(addresses[c], expected.size()), expected) << "channel " << c;
    }
    rig.chip->StopScan();
}

TEST_F(GL841ShadingUploadTest, AMonoChannelShadesFromItsOwnTableAndLeavesTheGrayOne) {
    SetTable(1, 5, 1.25f);
    SetTable(3, 9, 0.75f);
    const std::vector<uint32_t> gray = rig.chip->ShadingTable(3);
    rig.chip->SetMonoChannel(1);
    Configure(kGray, 600, 1000);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_TRUE(ShadingOn());
    EXPECT_EQ(ChipEntries(0, gray.size()), rig.chip->ShadingTable(1));
    EXPECT_EQ(rig.chip->ShadingTable(3), gray) << "the calibrated gray table is kept";
    rig.chip->StopScan();

    rig.chip->SetMonoChannel(4);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_EQ(ChipEntries(0, gray.size()), gray);
    rig.chip->StopScan();
}

TEST_F(GL841ShadingUploadTest, ShadingGoesOnOnlyOverTablesThisScanUploaded) {
    SetTable(0, 1, 1.0f);
    Configure(kColour, 300, 1200);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(ShadingOn()) << "colour with only one of three tables";
    EXPECT_EQ(rig.scanner.ShadingWords(0x5500, 1).front(), 0xA5A5) << "nothing uploaded for channel 1";
    rig.chip->StopScan();

    Configure(kGray, 300, 1200);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(ShadingOn()) << "gray over all three channels without a gray table";
    rig.chip->StopScan();

    rig.chip->SetMonoChannel(0);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_TRUE(ShadingOn()) << "gray from channel 0's table";
    rig.chip->StopScan();

    rig.chip->SetShadingEnabled(false);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(ShadingOn());
    rig.chip->StopScan();
}

TEST_F(GL841ShadingUploadTest, AFailedCalibrationReadLeavesShadingOff) {
    // Exposures and a first table without pixels, then the file ends.
    MemoryCalibrationFile file(std::vector<uint8_t>(16, 0));
    GL841 fresh{&rig.frontEnd, rig.port.get(), false};
    fresh.SetCisModule(rig.module.get(), 2, gl841_test::kLineRates);
    fresh.SetMotor(rig.motor.get());
    EXPECT_FALSE(fresh.CalibrationData(&file, false));
    EXPECT_TRUE(fresh.IsShadingDataPresent());
    fresh.SetColorMode(kGray);
    fresh.SetMonoChannel(0);
    fresh.SetXResolution(300);
    fresh.SetBitsPerPixel(8);
    fresh.SetScanWidth(600);
    fresh.SetScanLength(2);
    ASSERT_TRUE(fresh.SetupScan());
    EXPECT_FALSE(ShadingOn());
    fresh.StopScan();
}

std::vector<uint16_t> Curve(bool descending, uint16_t bias) {
    std::vector<uint16_t> t(256);
    for (size_t v = 0; v < 256; ++v) {
        const auto up = static_cast<uint16_t>(std::min<size_t>(65535, 200 * v + bias));
        t[v] = descending ? static_cast<uint16_t>(65535 - up) : up;
    }
    return t;
}

std::vector<uint16_t> Ramp(bool descending) {
    std::vector<uint16_t> r(256);
    for (size_t v = 0; v < 256; ++v) {
        r[v] = static_cast<uint16_t>(descending ? 65535 - 256 * v : 256 * v);
    }
    return r;
}

TEST_F(GL841ShadingUploadTest, ColourGammaFillsMissingTablesWithRamps) {
    const std::vector<uint16_t> green = Curve(false, 7);
    rig.chip->SetGammaTable(1, green);
    Configure(kColour, 300, 600);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_TRUE(rig.Bit(0x05, 3)) << "gamma on";
    EXPECT_EQ(rig.scanner.Register(0x08), 0x00);
    EXPECT_EQ(rig.scanner.GammaWords(0, 256), green) << "table 1 in slot 0";
    EXPECT_EQ(rig.scanner.GammaWords(256, 256), Ramp(false)) << "table 2 in slot 256";
    EXPECT_EQ(rig.scanner.GammaWords(512, 256), Ramp(false)) << "table 0 in slot 512";
    EXPECT_TRUE(rig.chip->GammaTable(0).empty()) << "the stored tables stay as set";
    rig.chip->StopScan();

    const std::vector<uint16_t> red = Curve(true, 3);
    rig.chip->SetGammaTable(1, {});
    rig.chip->SetGammaTable(0, red);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_EQ(rig.scanner.Register(0x08), 0x40) << "descending";
    EXPECT_EQ(rig.scanner.GammaWords(512, 256), red);
    EXPECT_EQ(rig.scanner.GammaWords(0, 256), Ramp(true));
    EXPECT_EQ(rig.scanner.GammaWords(256, 256), Ramp(true));
    rig.chip->StopScan();

    rig.chip->SetGammaTable(0, {});
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(rig.Bit(0x05, 3)) << "no tables: gamma off";
    rig.chip->StopScan();
}

TEST_F(GL841ShadingUploadTest, GrayGammaUsesTheGrayTable) {
    const std::vector<uint16_t> gray = Curve(true, 11);
    rig.chip->SetGammaTable(3, gray);
    rig.chip->SetGammaTable(0, Curve(false, 1));
    Configure(kGray, 300, 600);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_TRUE(rig.Bit(0x05, 3));
    EXPECT_EQ(rig.scanner.Register(0x08), 0x40);
    EXPECT_EQ(rig.scanner.GammaWords(0, 256), gray);
    EXPECT_EQ(rig.scanner.GammaWords(512, 1).front(), 0xA5A5) << "colour slots untouched";
    rig.chip->StopScan();

    rig.chip->SetGammaTable(3, {});
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(rig.Bit(0x05, 3));
    rig.chip->StopScan();
}

TEST_F(GL841ShadingUploadTest, GammaTablesAreOneWholeSlot) {
    const std::vector<uint16_t> table = Curve(false, 0);
    for (size_t size : {1u, 255u, 257u, 1024u}) {
        rig.chip->SetGammaTable(2, std::vector<uint16_t>(size, 5));
        EXPECT_TRUE(rig.chip->GammaTable(2).empty()) << size << " entries refused";
    }
    rig.chip->SetGammaTable(2, table);
    EXPECT_EQ(rig.chip->GammaTable(2), table);
    rig.chip->SetGammaTable(7, table);  // no such channel
}

}  // namespace
