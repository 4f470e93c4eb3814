// Scan setup against the virtual scanner: the registers it programs, the
// lines it reads back with the geometry each mode and resolution asks for,
// and how a scan ends.
#include "GL841Rig.h"

#include <cmath>
#include <ostream>
#include <set>

namespace {

using gl841_test::Rig;

enum Mode { kLineArt = 0, kGray = 1, kColour = 2 };

struct ScanCase {
    const char* board;
    Mode mode;
    int resolution;
    int width;    // pixels at the resolution
    int xOffset;  // pixels at the resolution
    float scanRate;
    uint32_t clock;  // the master clock the scan needs
};

std::ostream& operator<<(std::ostream& os, const ScanCase& c) {
    return os << c.board << " mode " << c.mode << " " << c.resolution << " dpi width " << c.width << " offset "
              << c.xOffset << " rate " << c.scanRate;
}

gl841_test::Board BoardNamed(const char* name) {
    return std::string(name) == "RM410" ? gl841_test::RM410() : gl841_test::RM310();
}

int BitsOf(Mode mode) { return mode == kColour ? 24 : (mode == kGray ? 8 : 1); }

class GL841ScanGeometryTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(GL841ScanGeometryTest, ProgramsTheLineAndReadsWholeLines) {
    const ScanCase& c = GetParam();
    Rig rig(BoardNamed(c.board));
    GL841& chip = *rig.chip;
    const int bits = BitsOf(c.mode);
    chip.SetColorMode(c.mode);
    chip.SetXResolution(c.resolution);
    chip.SetBitsPerPixel(bits);
    chip.SetScanWidth(c.width);
    chip.SetXOffset(c.xOffset);
    chip.SetScanLength(6);
    chip.SetScanRate(c.scanRate);
    chip.SetThreshold(128);
    chip.SetFeedForward(true);
    ASSERT_TRUE(chip.SetupScan());

    const int optical = rig.module->GetOpticalDpi();
    const int lineStart = rig.module->GetDummyPixels() + 5;
    const int dpiClass = std::string(c.board) == "RM410" ? 1200 : 600;
    EXPECT_EQ(rig.scanner.ClockHz(), c.clock);
    EXPECT_EQ(rig.scanner.Register(0x19), c.clock == 30000000 ? 50 : 66) << "exposure lead";
    const double speed = std::max<double>(c.scanRate, chip.GetMinScanRate(c.resolution * (bits == 24 ? 3 : 1)));
    const auto period =
        static_cast<uint32_t>(std::floor(c.clock / 15.0 / speed / c.resolution / (bits == 24 ? 3 : 1))) | 1u;
    EXPECT_EQ(rig.Field(0x38, 2), period) << "line period";
    const uint32_t x0 = static_cast<uint32_t>(optical * c.xOffset / c.resolution);
    const uint32_t w = static_cast<uint32_t>(optical * c.width / c.resolution);
    EXPECT_EQ(rig.Field(0x30, 2), x0 + lineStart);
    EXPECT_EQ(rig.Field(0x32, 2), x0 + w + lineStart);
    EXPECT_EQ(rig.Field(0x2C, 2) & 0xFFF, static_cast<uint32_t>(dpiClass * c.resolution / optical));
    const std::set<int> ratios = {1, 2, 3, 4, 5, 6, 8, 10, 12, 15};
    EXPECT_EQ(rig.Bit(0x03, 7), optical % c.resolution == 0 && ratios.count(optical / c.resolution) == 1)
        << "averaging only over exact ratios";
    EXPECT_EQ((rig.scanner.Register(0x04) >> 2) & 3, c.mode == kColour ? 0 : 1);
    EXPECT_EQ(rig.Bit(0x04, 7), c.mode == kLineArt);
    EXPECT_EQ(rig.Bit(0x87, 2), c.mode != kColour);
    EXPECT_EQ(rig.Bit(0x87, 4), c.mode == kColour);
    EXPECT_TRUE(rig.Bit(0x03, 4)) << "lamp on";
    EXPECT_FALSE(rig.Bit(0x09, 3)) << "paper runs forward";
    const uint32_t channels = c.mode == kColour ? 3 : 1;
    EXPECT_EQ(rig.Field(0x25, 3) & 0xFFFFF, channels * (6 + 2 + (c.mode == kLineArt ? 8 : 0)));
    if (c.mode == kLineArt) {
        EXPECT_EQ(rig.scanner.Register(0x2E), 129);
        EXPECT_EQ(rig.scanner.Register(0x2F), 127);
    }

    const size_t bytesPerLine = (static_cast<size_t>(c.width) * bits + 7) / 8;
    const std::vector<uint8_t> image = rig.ReadLines(6, bytesPerLine);
    EXPECT_EQ(image.size(), 6 * bytesPerLine);
    EXPECT_GE(rig.scanner.LinesScanned(), 6 * channels);
    EXPECT_GE(chip.GetLinesScanned(), 6);

    chip.StopScan();
    EXPECT_EQ(rig.scanner.Engine(), emulator::EngineState::Idle);
    EXPECT_EQ(rig.scanner.Register(0x01) & 1, 0) << "scan enable cleared";
    EXPECT_FALSE(rig.Bit(0x02, 4)) << "motor power off";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, GL841ScanGeometryTest,
    ::testing::Values(ScanCase{"RM410", kGray, 300, 2592, 0, 1.0f, 30000000},
                      ScanCase{"RM410", kGray, 200, 1000, 100, 1.0f, 30000000},
                      ScanCase{"RM410", kGray, 400, 1201, 3, 1.0f, 40000000},
                      ScanCase{"RM410", kGray, 250, 999, 0, 1.0f, 30000000},
                      ScanCase{"RM410", kGray, 75, 640, 0, 2.0f, 30000000},
                      ScanCase{"RM410", kColour, 150, 601, 0, 1.0f, 40000000},
                      ScanCase{"RM410", kColour, 600, 6000, 0, 0.2f, 40000000},
                      ScanCase{"RM410", kLineArt, 300, 2592, 8, 1.0f, 30000000},
                      ScanCase{"RM310-GL841", kGray, 300, 1200, 0, 1.0f, 30000000},
                      ScanCase{"RM310-GL841", kColour, 100, 400, 16, 1.0f, 30000000},
                      ScanCase{"RM310-GL841", kLineArt, 600, 4992, 0, 0.5f, 30000000}));

class GL841ScanTest : public ::testing::Test {
protected:
    void SetUpGray(int length) {
        GL841& chip = *rig.chip;
        chip.SetColorMode(kGray);
        chip.SetXResolution(300);
        chip.SetBitsPerPixel(8);
        chip.SetScanWidth(2592);
        chip.SetScanLength(length);
        chip.SetScanRate(1.0f);
    }

    Rig rig{gl841_test::RM410(), {{"clock", "virtual"}}};
};

TEST_F(GL841ScanTest, LinesWaitingWhenTheScanEndsAreDeliveredBeforeTheEnd) {
    SetUpGray(10);
    ASSERT_TRUE(rig.chip->SetupScan());
    ASSERT_TRUE(rig.WaitFor([&] { return rig.scanner.Engine() == emulator::EngineState::Idle; }));
    ASSERT_TRUE(rig.chip->SetField(ScanEnable, 0, true));
    std::vector<uint8_t> lines(20 * 2592);
    int read = -1;
    EXPECT_TRUE(rig.chip->ReadImageLines(lines.data(), 20, &read));
    EXPECT_EQ(read, 12) << "the page and its two extra lines";
    EXPECT_FALSE(rig.chip->ReadImageLines(lines.data(), 20, &read)) << "nothing left: the end";
    EXPECT_EQ(read, 0);
}

TEST_F(GL841ScanTest, RequestsBeyondTheBufferGetTheLinesThatFit) {
    SetUpGray(10);
    rig.chip->SetScanWidth(2591);  // odd lines: reads stay whole words
    ASSERT_TRUE(rig.chip->SetupScan());
    ASSERT_TRUE(rig.WaitFor([&] { return rig.scanner.Engine() == emulator::EngineState::Idle; }));
    std::vector<uint8_t> lines(20 * 2591);
    int read = -1;
    ASSERT_TRUE(rig.chip->ReadImageLines(lines.data(), 20, &read));
    EXPECT_EQ(read, 12);  // 12 lines are an even count of bytes
    EXPECT_EQ(rig.scanner.FifoBytes(), 0u);
    rig.chip->StopScan();
}

TEST_F(GL841ScanTest, CountedLinesAreReadWithoutAskingTheChipAgain) {
    SetUpGray(10);
    ASSERT_TRUE(rig.chip->SetupScan());
    ASSERT_TRUE(rig.WaitFor([&] { return rig.scanner.Engine() == emulator::EngineState::Idle; }));
    std::vector<uint8_t> lines(4 * 2592);
    int read = -1;
    ASSERT_TRUE(rig.chip->ReadImageLines(lines.data(), 4, &read));
    EXPECT_EQ(read, 4);
    EXPECT_EQ(rig.chip->KnownWaitingLines(), 8) << "the page and its two extra lines were counted";
    rig.scanner.ClearLogs();
    ASSERT_TRUE(rig.chip->ReadImageLines(lines.data(), 4, &read));
    EXPECT_EQ(read, 4);
    for (const emulator::RequestLogEntry& entry : rig.scanner.RequestLog()) {
        EXPECT_NE(entry.kind, emulator::TransferKind::ControlIn) << "a register read for lines already counted";
    }
    EXPECT_EQ(rig.chip->KnownWaitingLines(), 4);
    EXPECT_TRUE(rig.scanner.Violations().empty());
    rig.chip->StopScan();
}

struct LineCountCase {
    Mode mode;
    int length;
    uint32_t expected;
};

TEST_F(GL841ScanTest, LineCountCoversThePageAndClampsToTwentyBits) {
    const LineCountCase cases[] = {
        {kGray, 100, 102},          {kColour, 100, 306},        {kLineArt, 100, 110},
        {kGray, -16, 0xFFFFF},      {kColour, -16, 0xFFFFF},    {kGray, 2000000, 0xFFFFF},
        {kColour, 349524, 0xFFFFF},  // 3 x 349526 lines would wrap
    };
    for (const LineCountCase& c : cases) {
        SetUpGray(c.length);
        rig.chip->SetColorMode(c.mode);
        rig.chip->SetBitsPerPixel(BitsOf(c.mode));
        ASSERT_TRUE(rig.chip->SetupScan());
        EXPECT_EQ(rig.Field(0x25, 3) & 0xFFFFF, c.expected) << "mode " << c.mode << " length " << c.length;
        rig.chip->StopScan();
    }
}

TEST_F(GL841ScanTest, ScanWithoutAModuleOrResolutionIsRefused) {
    SetUpGray(10);
    rig.chip->SetXResolution(0);
    EXPECT_FALSE(rig.chip->SetupScan());
    EXPECT_EQ(rig.scanner.Engine(), emulator::EngineState::Idle);
}

TEST_F(GL841ScanTest, ExposureOffTurnsTheLampOff) {
    SetUpGray(4);
    for (int c = 0; c < 3; ++c) {
        ASSERT_TRUE(rig.chip->SetExposurePercent(c, 0.0f));
    }
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(rig.Bit(0x03, 4));
    rig.chip->StopScan();
    rig.chip->SetExposurePercent(1, 1.0f);
    rig.chip->SetLampPower(false);
    ASSERT_TRUE(rig.chip->SetupScan());
    EXPECT_FALSE(rig.Bit(0x03, 4)) << "lamp power off";
    rig.chip->StopScan();
}

TEST(GL841ClosedPortTest, ScansAndMovesDoNothing) {
    DevicePortUsbscan port;  // never opened
    WM8199GL frontEnd;
    GL841 chip{&frontEnd, &port, false};
    CM651 module;
    FAN8200D motor;
    chip.SetCisModule(&module, 2, gl841_test::kLineRates);
    chip.SetMotor(&motor);
    chip.SetColorMode(kGray);
    chip.SetXResolution(300);
    chip.SetBitsPerPixel(8);
    chip.SetScanWidth(300);
    chip.SetYOffset(300);
    EXPECT_FALSE(chip.SetupScan());
    uint8_t line[300];
    int read = -1;
    EXPECT_FALSE(chip.ReadImageLines(line, 1, &read));
    EXPECT_EQ(read, 0);
    chip.StopScan();
    chip.StartMove();
    EXPECT_FALSE(chip.IsMotorBusy());
    chip.StopMove();
    EXPECT_EQ(chip.GetLinesScanned(), 0);
}

TEST(GL841LinesScannedTest, CountsPastTheChipsSixteenBits) {
    Rig rig(gl841_test::RM410(), {{"clock", "virtual"}});
    GL841& chip = *rig.chip;
    chip.SetColorMode(kLineArt);
    chip.SetXResolution(75);
    chip.SetBitsPerPixel(1);
    chip.SetScanWidth(8);
    chip.SetScanRate(100.0f);
    chip.SetScanLength(70000 - 10);
    ASSERT_TRUE(chip.SetupScan());
    int last = 0;
    ASSERT_TRUE(rig.WaitFor(
        [&] {
            const int lines = chip.GetLinesScanned();
            EXPECT_GE(lines, last) << "never goes back";
            last = lines;
            return rig.scanner.Engine() == emulator::EngineState::Idle;
        },
        120000, std::chrono::milliseconds(100)));  // about 750 lines a step
    EXPECT_EQ(chip.GetLinesScanned(), 70000);
    EXPECT_EQ(rig.scanner.LinesScanned(), 70000u);
    chip.StopScan();
}

}  // namespace
