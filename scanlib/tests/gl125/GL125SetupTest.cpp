// GL125 bring-up, scan setup, motor tables, moves, LED timing, shading
// upload, gamma and the calibration block against a recording port.
#include "chips/CISModule.h"
#include "chips/GL125.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "device/DeviceIOException.h"
#include "os/files/CalibrationFile.h"
#include "GL125RecordingPort.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

class MemoryCalibrationFile : public CalibrationFile {
public:
    std::vector<uint8_t> bytes;
    size_t at = 0;
    bool Open(const char*, int) override { return true; }
    void Close() override {}
    bool Write(const void* data, int n) override {
        const size_t old = bytes.size();
        bytes.resize(old + static_cast<size_t>(n));
        if (n > 0) std::memcpy(bytes.data() + old, data, static_cast<size_t>(n));
        return true;
    }
    bool Read(void* data, int n) override {
        if (at + static_cast<size_t>(n) > bytes.size()) {
            return false;
        }
        std::memcpy(data, bytes.data() + at, static_cast<size_t>(n));
        at += static_cast<size_t>(n);
        return true;
    }
    bool Seek(int offset) override {
        at = static_cast<size_t>(offset);
        return true;
    }
    bool IsOpen() override { return true; }
};

class GL125SetupTest : public ::testing::Test {
protected:
    void Attach(int sensors = 2) {
        ASSERT_TRUE(chip.Init());
        chip.SetCisModule(&module, sensors, rates);
        chip.SetMotor(&motor);
        port.chip[0x101] = 0x10;
        port.Take();
    }

    void GrayScan(int x = 300, int width = 1000) {
        chip.SetColorMode(1);
        chip.SetBitsPerPixel(8);
        chip.SetXResolution(x);
        chip.SetScanWidth(width);
        chip.SetScanLength(100);
        ASSERT_TRUE(chip.SetupScan());
    }

    uint32_t Reg21(uint16_t last) const {
        return (static_cast<uint32_t>(port.chip[last - 2] & 0x1F) << 16) | port.chip[last - 1] << 8 | port.chip[last];
    }

    // Bulk writes of a log as {address, bytes}.
    static std::vector<std::pair<uint32_t, std::vector<uint8_t>>> BulkWrites(const std::vector<Gl125Request>& log) {
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> out;
        for (size_t i = 0; i + 1 < log.size(); ++i) {
            if (log[i].request == 0x82 && log[i].index == 1 && log[i + 1].kind == Gl125Request::BulkOut) {
                uint32_t address = 0;
                std::memcpy(&address, log[i].data.data(), 4);
                out.emplace_back(address, log[i + 1].data);
            }
        }
        return out;
    }

    Gl125RecordingPort port;
    WM8199GL frontEnd;
    GL125 chip{&frontEnd, &port};
    CM218_02 module;
    FAN8200D_2 motor;
    std::array<float, 3> rates{300.0f, 300.0f, 300.0f};
};

TEST_F(GL125SetupTest, InitOnAFreshChipSendsRegister0BThenTheClockThenTheImage) {
    ASSERT_TRUE(chip.Init());
    const std::vector<Gl125Request> sent = port.Take();
    ASSERT_GT(sent.size(), 8u);
    EXPECT_EQ(sent[0], RegRead(0x06));
    EXPECT_EQ(sent[1], RegWrite(0x0B, 0x01));
    EXPECT_EQ(sent[2], RegWrite(0x0B, 0x09));
    EXPECT_EQ(sent[3], RegWrite(0x0B, 0x09));
    EXPECT_EQ(sent[4], CtlOut(0x8C, {10}, 0x10));
    EXPECT_EQ(sent[5], CtlOut(0x8C, {10}, 0x13));
    int last = -1;
    size_t i = 6;
    for (; i < sent.size() && sent[i].request == 0x83; ++i) {
        for (size_t p = 0; p < sent[i].data.size(); p += 2) {
            EXPECT_GT(sent[i].data[p], last) << "address order";
            last = sent[i].data[p];
        }
        EXPECT_LE(sent[i].data.size(), 12u);
    }
    ASSERT_LT(i, sent.size());
    EXPECT_EQ(sent[i++], CtlOut(0x183, {0x14, 130, 0x15, 126}));
    for (uint16_t reg = 0x31; reg <= 0x38; ++reg) {
        EXPECT_EQ(sent[i++], RegRead(reg));
    }
    EXPECT_EQ(sent[i++], CtlIn(0x8E, 0, 1));
    EXPECT_EQ(i, sent.size());
    EXPECT_EQ(port.chip[0x01], 0x80);
    EXPECT_EQ(Reg21(0x8C), 3168u);
    EXPECT_EQ(Reg21(0x92), 3712u);
    EXPECT_EQ(port.chip[0x38], 0x40);
    EXPECT_TRUE(port.allLocked);
}

TEST_F(GL125SetupTest, InitOnAPoweredChipOnlyReads) {
    port.chip[0x06] = 0x10;
    ASSERT_TRUE(chip.Init());
    std::vector<Gl125Request> expected{RegRead(0x06)};
    for (uint16_t reg = 0x31; reg <= 0x38; ++reg) {
        expected.push_back(RegRead(reg));
    }
    expected.push_back(CtlIn(0x8E, 0, 1));
    EXPECT_EQ(port.Take(), expected);
    EXPECT_EQ(chip.RegisterValue(0x0B), 0x09) << "the shadow holds the image";
    EXPECT_FALSE(chip.IsRegisterDirty(0x0B));
}

TEST_F(GL125SetupTest, SensorPixelsChooseTheDpiClass) {
    struct Case {
        int sensors;
        int dpiClass;
    };
    ASSERT_TRUE(chip.Init());
    CM218_02 narrow;  // 2592 pixels
    CM215_04 wide;    // 5184 pixels
    chip.SetCisModule(&narrow, 1, rates);
    EXPECT_EQ(chip.DpiClass(), 600);
    chip.SetCisModule(&wide, 1, rates);
    EXPECT_EQ(chip.DpiClass(), 600);
    chip.SetCisModule(&wide, 2, rates);
    EXPECT_EQ(chip.DpiClass(), 1200);
    chip.SetCisModule(&wide, 4, rates);
    EXPECT_EQ(chip.DpiClass(), 2400);
    chip.SetCisModule(&wide, 5, rates);
    EXPECT_EQ(chip.DpiClass(), 2400) << "over 21504 pixels leaves the class";
    EXPECT_EQ(chip.GetMaxExposure(0), 1000000000u / 300u - 30000u);
}

TEST_F(GL125SetupTest, LineArtThresholdsAndTheClock) {
    Attach();
    chip.SetColorMode(0);
    chip.SetBitsPerPixel(1);
    chip.SetXResolution(300);
    chip.SetScanWidth(1000);
    for (const auto& [threshold, high, low] : {std::array{0, 1, 0}, std::array{1, 2, 0}, std::array{2, 3, 1},
                                                std::array{255, 255, 254}}) {
        chip.SetThreshold(threshold);
        chip.SetScanLength(10);
        ASSERT_TRUE(chip.SetupScan());
        EXPECT_EQ(port.chip[0x114], high);
        EXPECT_EQ(port.chip[0x115], low);
        EXPECT_EQ(chip.PaddedWidth(), 1008);
        EXPECT_EQ(Reg21(0x27), 20u) << "10 + 2 + 8 lines";
        EXPECT_NE(chip.MasterClock(), 24000000u);
        EXPECT_NE(chip.MasterClock(), 80000000u);
        chip.StopScan();
        EXPECT_EQ(chip.MasterClock(), 24000000u);
    }
}

TEST_F(GL125SetupTest, ColourProgramsThreeChipLinesPerLineAndAThirdOfThePeriod) {
    Attach();
    chip.SetColorMode(2);
    chip.SetBitsPerPixel(24);
    chip.SetXResolution(300);
    chip.SetScanWidth(1001);
    chip.SetScanLength(100);
    chip.SetScanRate(1.0f);
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_EQ(Reg21(0x27), 306u);
    EXPECT_EQ(port.chip[0x0C] & 0x0F, 2);
    const double tick = chip.MasterClock() / 12.0;
    EXPECT_EQ(Reg21(0x7F), static_cast<uint32_t>(tick / 1.0 / 300 / 3));
    // Window: start pixel 86, 1002 padded pixels at 300 dpi are 2004 sensor pixels.
    EXPECT_EQ(Reg21(0x84) & 0x1FFFF, 86u);
    EXPECT_EQ(Reg21(0x87) & 0x1FFFF, 86u + 2004u);
    EXPECT_EQ(port.chip[0x0F], 1);
    EXPECT_EQ(port.chip[0x01] & 0x61, 0x41) << "running, run flag, shading off without tables";
}

TEST_F(GL125SetupTest, ShadingIsOnOnlyWhenThisScanUploadedItsTables) {
    Attach();
    const std::vector<int32_t> offsets(5184, 0x100);
    chip.SetShadingOffsets(0, offsets);
    chip.SetColorMode(2);
    chip.SetBitsPerPixel(24);
    chip.SetXResolution(300);
    chip.SetScanWidth(1000);
    chip.SetScanLength(10);
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_EQ(port.chip[0x01] & 0x20, 0) << "green and blue have no tables";
    chip.StopScan();
    chip.SetShadingOffsets(1, offsets);
    chip.SetShadingOffsets(2, offsets);
    port.Take();
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_EQ(port.chip[0x01] & 0x20, 0x20);
    EXPECT_EQ(port.chip[0xD0], 10);
    EXPECT_EQ(port.chip[0xD1], 16);
    EXPECT_EQ(port.chip[0xD2], 22);
    const auto writes = BulkWrites(port.Take());
    size_t shadingWrites = 0;
    for (const auto& [address, bytes] : writes) {
        if (address >= 0x10014000) {
            ++shadingWrites;
            EXPECT_LE(bytes.size(), 0xC000u);
        }
    }
    EXPECT_GE(shadingWrites, 3u);
    chip.StopScan();
    chip.SetShadingEnabled(false);
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_EQ(port.chip[0x01] & 0x20, 0);
}

TEST_F(GL125SetupTest, AGrayScanOnOneColourLeavesTheStoredMonoTable) {
    Attach();
    const std::vector<int32_t> red(5184, 0x111);
    const std::vector<int32_t> mono(5184, 0x333);
    chip.SetShadingOffsets(0, red);
    chip.SetShadingOffsets(3, mono);
    chip.SetMonoChannel(0);
    GrayScan(600);
    EXPECT_EQ(port.chip[0x01] & 0x20, 0x20);
    EXPECT_EQ(chip.ShadingTable(3)[3] & 0xFFFF, 0x333u);
    const auto writes = BulkWrites(port.Take());
    bool found = false;
    for (const auto& [address, bytes] : writes) {
        if (address == 0x10014000) {
            found = true;
            EXPECT_EQ(bytes[12] | bytes[13] << 8, 0x111) << "pixel 0 from the red table";
        }
    }
    EXPECT_TRUE(found);
    chip.StopScan();
    chip.SetMonoChannel(4);
    GrayScan(600);
    for (const auto& [address, bytes] : BulkWrites(port.Take())) {
        if (address == 0x10014000) {
            EXPECT_EQ(bytes[12] | bytes[13] << 8, 0x333);
        }
    }
}

TEST_F(GL125SetupTest, MonoLedEndsAreChained) {
    rates = {300.0f, 300.0f, 300.0f};
    Attach();
    chip.SetMonoChannel(4);
    GrayScan();
    const uint32_t start = chip.MasterClock() / 12 * 25 / 1000000;
    const uint32_t ticks = chip.ExposureTicks(0);
    const auto third = static_cast<uint32_t>(ticks * 0.333333);
    EXPECT_EQ(Reg21(0x8C), start + third);
    chip.StopScan();
    chip.SetMonoChannel(0);
    GrayScan();
    EXPECT_EQ(Reg21(0x8C), start + ticks);
    EXPECT_EQ(Reg21(0x8F), start + ticks + 1);
    EXPECT_EQ(Reg21(0x92), start + ticks + 2);
}

TEST_F(GL125SetupTest, GammaIsOffWithoutTablesAndFlagsDescendingCurves) {
    Attach();
    GrayScan();
    EXPECT_EQ(port.chip[0x05] & 0x08, 0);
    chip.StopScan();
    std::vector<uint16_t> descending(256);
    for (size_t i = 0; i < 256; ++i) {
        descending[i] = static_cast<uint16_t>((255 - i) << 8);
    }
    chip.SetGammaTable(3, descending);
    port.Take();
    GrayScan();
    EXPECT_EQ(port.chip[0x05] & 0x08, 0x08);
    EXPECT_EQ(port.chip[0xBD] & 1, 1);
    EXPECT_EQ(port.chip[0xBE] & 1, 0);
    EXPECT_EQ(port.chip[0xC5], 0xFF);
    bool uploaded = false;
    for (const auto& [address, bytes] : BulkWrites(port.Take())) {
        if (address == 0x01000000) {
            uploaded = bytes.size() == 512 && bytes[1] == 0xFF;
        }
    }
    EXPECT_TRUE(uploaded);
}

TEST_F(GL125SetupTest, MovesAreRunPlusTheChipsTwoFourStepRamps) {
    Attach();
    chip.SetFeedRate(2.0f);
    struct Case {
        int steps;
        uint32_t run;
        int ramp;
    };
    for (const Case c : {Case{0, 0, 0}, Case{1, 1, 2}, Case{3, 1, 2}, Case{5, 1, 2}, Case{7, 1, 3}, Case{8, 1, 3},
                         Case{9, 1, 4}, Case{10, 2, 4}, Case{1000, 992, 4}}) {
        const GL125::MovePlan plan = chip.PlanMove(c.steps);
        EXPECT_EQ(plan.run, c.run) << c.steps;
        EXPECT_EQ(plan.rampCount, c.ramp) << c.steps;
    }
    EXPECT_EQ(chip.PlanMove(3).targetPeriod, 6952u);
    EXPECT_EQ(chip.PlanMove(100).targetPeriod, 24000000u / 12u / 2u / 600u);
    chip.SetFeedRate(0.0f);
    EXPECT_EQ(chip.PlanMove(100).targetPeriod, 0xFFFFu) << "feed rate 0 clamps to the slowest period";
}

TEST_F(GL125SetupTest, MotorTablesAreClampedAndEven) {
    Attach();
    for (const float start : {0.0f, -1.0f, 0.0001f, 0.5f, 10.0f}) {
        chip.SetRampStartSpeed(start);
        port.Take();
        ASSERT_TRUE(chip.UploadMotorTable(4, 4, 0x3000, 1000));
        const auto writes = BulkWrites(port.Take());
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].first, 0x1000C000u);
        const std::vector<uint8_t>& bytes = writes[0].second;
        const auto entries = static_cast<size_t>((port.chip[0xAE] & 0x1F) << 8 | port.chip[0xAF]);
        EXPECT_TRUE(entries % 2 == 0 || entries == 511) << start;
        EXPECT_LE(entries, 512u);
        ASSERT_GE(bytes.size(), entries * 2);
        for (size_t i = 0; i < entries; ++i) {
            EXPECT_GT(bytes[2 * i] | bytes[2 * i + 1] << 8, 0) << start;
        }
    }
    // A start at or above the target speed: one entry, padded to two.
    chip.SetRampStartSpeed(10.0f);
    port.Take();
    ASSERT_TRUE(chip.UploadMotorTable(1, 1, 0x3000, 1000));
    auto writes = BulkWrites(port.Take());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ((port.chip[0xA4] & 0x1F) << 8 | port.chip[0xA5], 2);
    EXPECT_EQ(writes[0].second[0] | writes[0].second[1] << 8, 1000);
    EXPECT_EQ(writes[0].second[2] | writes[0].second[3] << 8, 1000);
    // A target period of 0 is one tick, not a division by zero.
    ASSERT_TRUE(chip.UploadMotorTable(1, 1, 0x3000, 0));
    writes = BulkWrites(port.Take());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ((port.chip[0xA4] & 0x1F) << 8 | port.chip[0xA5], 512);
    EXPECT_EQ(writes[0].second[0] | writes[0].second[1] << 8, 333);
    EXPECT_FALSE(chip.UploadMotorTable(0, 4, 0, 100));
    EXPECT_FALSE(chip.UploadMotorTable(6, 4, 0, 100));
    EXPECT_FALSE(chip.UploadMotorTable(1, 257, 0, 100));
    EXPECT_FALSE(chip.UploadMotorTable(1, 0, 0, 100));
    EXPECT_TRUE(port.Take().empty());
}

TEST_F(GL125SetupTest, AMoveOfNothingClearsTheRampsAndStillStarts) {
    Attach();
    chip.SetXResolution(100);
    chip.SetYOffset(0);
    chip.StartMove();
    EXPECT_EQ(Reg21(0x3F), 0u);
    EXPECT_EQ(port.chip[0xAF], 0);
    EXPECT_EQ(port.chip[0xB1], 0);
    EXPECT_EQ(port.chip[0x0F], 1);
    EXPECT_EQ(port.chip[0x02] & 0x10, 0x10);
}

TEST_F(GL125SetupTest, StopMoveGivesUpOnAMotorThatNeverStops) {
    Attach();
    port.chip[0x101] = 0x01;
    EXPECT_THROW(chip.StopMove(), DeviceIOException);
    EXPECT_EQ(port.chip[0x02] & 0x10, 0) << "motor power off on the way out";
    port.chip[0x101] = 0x10;
    EXPECT_NO_THROW(chip.StopMove());
}

TEST_F(GL125SetupTest, CalibrationBlockRoundTripsAndRefusesCountsTheChipCannotHold) {
    Attach();
    const std::vector<int32_t> offsets(5184, 0x42);
    for (int channel = 0; channel < 4; ++channel) {
        chip.SetShadingOffsets(channel, offsets);
    }
    ASSERT_TRUE(chip.SetExposurePercent(1, 50.0f));
    MemoryCalibrationFile file;
    ASSERT_TRUE(chip.CalibrationData(&file, true));
    EXPECT_EQ(file.bytes.size(), 12u + 4u * (4u + 5184u * 4u));

    GL125 other{&frontEnd, &port};
    ASSERT_TRUE(other.Init());
    other.SetCisModule(&module, 2, rates);
    file.at = 0;
    ASSERT_TRUE(other.CalibrationData(&file, false));
    EXPECT_EQ(other.GetExposure(1), chip.GetExposure(1));
    EXPECT_EQ(other.ShadingTable(3), chip.ShadingTable(3));

    // A count past the sensor line ends the reading at that table.
    MemoryCalibrationFile bad;
    const uint32_t header[] = {1000, 1000, 1000, 2, 7, 8, 5185};
    bad.Write(header, sizeof header);
    GL125 third{&frontEnd, &port};
    ASSERT_TRUE(third.Init());
    third.SetCisModule(&module, 2, rates);
    third.SetShadingOffsets(1, offsets);
    EXPECT_FALSE(third.CalibrationData(&bad, false));
    EXPECT_EQ(third.ShadingTable(0).size(), 5u);
    EXPECT_EQ(third.ShadingTable(1).size(), 5187u) << "kept";
    EXPECT_TRUE(third.IsShadingDataPresent());
}

}  // namespace
