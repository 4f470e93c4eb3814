// The GL125 pixel path at the request level: line widths and the chip's
// padding in every mode on both boards, shading slots and arithmetic, gamma
// slots and direction flags, line art, LED timing, and a duplex scan of the
// calibration sheet end to end.
#include <array>
#include <map>
#include <numeric>

#include "../src/board/BoardProfile.h"
#include "../src/chip/Gl125Pixels.h"
#include "Gl125Driver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kArea0 = kMainMemory + 10 * 0x2000;
constexpr std::uint32_t kAreaStride = 6 * 0x2000;  // areas 10, 16, 22

// Memory position of shading slot e: 128-entry blocks of which 126 are read.
constexpr std::uint32_t Position(std::uint32_t slot) { return slot + 2 * (slot / 126); }

// A dark line (lamp off) lifted by the front end's offset to about 80 of 255,
// unity gain, on every channel.
void LiftedDark(Gl125Driver& d)
{
    d.FrontEnd(3, 0);
    for (std::uint8_t c = 0; c < 3; ++c) {
        d.FrontEnd(static_cast<std::uint8_t>(0x20 + c), 255);
        d.FrontEnd(static_cast<std::uint8_t>(0x28 + c), 75);
    }
}

// Shading entries {offset, gain} for sensor pixels 0..n-1 of one area, slot
// p + lead; everything else gain 0.
void UploadShading(Gl125Driver& d, std::uint32_t area, int lead,
                   const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pixels)
{
    std::vector<std::uint16_t> words(2 * Position(static_cast<std::uint32_t>(pixels.size() + lead)) + 2, 0);
    for (std::size_t p = 0; p < pixels.size(); ++p) {
        const std::uint32_t at = Position(static_cast<std::uint32_t>(p + lead));
        words[2 * at] = pixels[p].first;
        words[2 * at + 1] = pixels[p].second;
    }
    EXPECT_EQ(d.Upload(area, Words(words)).error, 0u);
}

class Gl125Pixel : public Gl125Test {
protected:
    explicit Gl125Pixel(std::string board = "RM310-GL125") : Gl125Test(std::move(board)) {}

    std::vector<std::uint8_t> Scan(const Gl125Scan& s, std::uint32_t bytes)
    {
        driver_.SetUpScan(s);
        LiftedDark(driver_);
        driver_.StartScan();
        return driver_.ReadImage(bytes);
    }
};

// ---------------------------------------------------------------- widths

struct WidthCase {
    const char* board;
    bool mono;
    bool lineArt;
    bool averaging;
    std::uint32_t resolution;
    std::uint32_t window;
    std::uint32_t lineBytes;  // one chip line
};

class Gl125Widths : public ::testing::TestWithParam<WidthCase> {};

TEST_P(Gl125Widths, ChipLinesArePaddedToWholeWords)
{
    const WidthCase c = GetParam();
    VirtualScanner scanner(c.board, {{"clock", "virtual"}, {"dark_level", "58"}});
    Gl125Driver driver(scanner);
    Gl125Scan s;
    s.mono = c.mono;
    s.lineArt = c.lineArt;
    s.averaging = c.averaging;
    s.resolution = c.resolution;
    s.end = s.start + c.window;
    s.lines = 6;
    s.period = 6000;
    if (std::string(c.board) == "RM460") {
        s.modeFactor = 1;
        s.sensorSelect = true;
    }
    driver.SetUpScan(s);
    driver.StartScan();
    scanner.AdvanceClock(100ms);
    EXPECT_EQ(scanner.LinesScanned(), 6u);
    EXPECT_EQ(scanner.FifoBytes(), 6u * c.lineBytes);
    EXPECT_EQ(c.lineBytes % 2, 0u);
    EXPECT_EQ(driver.GetField(0x103, 3), 3u * c.lineBytes);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Gl125Widths,
    ::testing::Values(WidthCase{"RM310-GL125", true, false, false, 400, 1503, 1002},
                      WidthCase{"RM310-GL125", true, false, false, 500, 1202, 1002},
                      WidthCase{"RM310-GL125", true, false, true, 300, 2004, 1002},
                      WidthCase{"RM310-GL125", true, false, false, 600, 1001, 1002},
                      WidthCase{"RM310-GL125", true, true, false, 600, 1001, 126},
                      WidthCase{"RM310-GL125", false, false, false, 600, 1001, 1002},
                      WidthCase{"RM310-GL125", false, false, true, 300, 1001, 502},
                      WidthCase{"RM310-GL125", true, true, true, 150, 1001, 32},
                      WidthCase{"RM460", true, false, false, 1200, 501, 1002},
                      WidthCase{"RM460", false, false, true, 600, 501, 502},
                      WidthCase{"RM460", false, false, false, 900, 333, 500},
                      WidthCase{"RM460", true, true, false, 1200, 999, 250}));

TEST_F(Gl125Pixel, PadPixelsContinueTheReductionPastTheWindowInEachPlane)
{
    // 1001 positions at R 600: output 1001 is the pad, sensor pixel 1001.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> only(1002, {0, 0});
    only[1001] = {0, 0xFFFF};
    for (std::uint32_t c = 0; c < 3; ++c)
        UploadShading(driver_, kArea0 + c * kAreaStride, 2, only);
    Gl125Scan s;
    s.mono = false;
    s.lines = 3;
    s.end = s.start + 1001;
    s.shading = true;
    const auto image = Scan(s, 3 * 1002);
    ASSERT_EQ(image.size(), 3u * 1002);
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const auto line = std::vector<std::uint8_t>(image.begin() + plane * 1002, image.begin() + (plane + 1) * 1002);
        EXPECT_GT(line[1001], 200) << plane;
        EXPECT_EQ(std::accumulate(line.begin(), line.begin() + 1001, 0), 0) << plane;
    }
}

TEST_F(Gl125Pixel, AveragingPadsMeanThePixelsPastTheWindow)
{
    // R 300, 1001 positions: 502 outputs; output 501 averages pixels 1002–1003.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> only(1004, {0, 0});
    only[1003] = {0, 0xFFFF};
    UploadShading(driver_, kArea0, 3, only);
    Gl125Scan s;
    s.averaging = true;
    s.resolution = 300;
    s.end = s.start + 1001;
    s.shading = true;
    const auto line = Scan(s, 502);
    ASSERT_EQ(line.size(), 502u);
    EXPECT_GT(line[501], 100);
    EXPECT_LT(line[501], 160);  // half of a saturated pair
    EXPECT_EQ(std::accumulate(line.begin(), line.begin() + 501, 0), 0);
}

// ---------------------------------------------------------------- shading

TEST(Gl125ShadingSlots, SlotsSkipTheLastTwoEntriesOfEachBlock)
{
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{3, 3}, {125, 125}, {126, 128}, {252, 256}, {12, 12}};
    for (auto [slot, position] : cases)
        EXPECT_EQ(Gl125Pixels::ShadingPosition(slot), position) << slot;
}

struct SlotCase {
    bool averaging;
    std::uint32_t pixel;
};

class Gl125ShadingSlot : public Gl125Pixel, public ::testing::WithParamInterface<SlotCase> {};

TEST_P(Gl125ShadingSlot, OnlyTheEntryOfItsSlotShadesAPixel)
{
    const SlotCase c = GetParam();
    const int lead = c.averaging ? 3 : 2;
    // Only the entry at the slot's memory position has a gain.
    const std::uint32_t at = Position(c.pixel + static_cast<std::uint32_t>(lead));
    std::vector<std::uint16_t> words(2 * Position(400), 0);
    words[2 * at + 1] = 0xFFFF;
    ASSERT_EQ(driver_.Upload(kArea0, Words(words)).error, 0u);
    Gl125Scan s;
    s.averaging = c.averaging;
    s.end = s.start + 300;
    s.shading = true;
    const auto line = Scan(s, 300);
    for (std::uint32_t j = 0; j < 300; ++j)
        EXPECT_EQ(line[j] != 0, j == c.pixel) << "pixel " << c.pixel << " output " << j;
}

INSTANTIATE_TEST_SUITE_P(Slots, Gl125ShadingSlot,
                         ::testing::Values(SlotCase{true, 0}, SlotCase{true, 122}, SlotCase{true, 123},
                                           SlotCase{true, 249}, SlotCase{false, 0}, SlotCase{false, 10},
                                           SlotCase{false, 124}));

TEST_F(Gl125Pixel, GainRangeSetsTheUnitAndOffsetsSubtract)
{
    Gl125Scan s;
    s.end = s.start + 200;
    s.shading = true;
    UploadShading(driver_, kArea0, 2, std::vector<std::pair<std::uint16_t, std::uint16_t>>(200, {0, 0x2000}));
    const auto half = Scan(s, 200);  // 0x2000 at 0x4000 = x1: half
    s.gainRange = false;
    const auto unity = Scan(s, 200);  // 0x2000 = x1
    const double h = std::accumulate(half.begin(), half.end(), 0.0) / 200;
    const double u = std::accumulate(unity.begin(), unity.end(), 0.0) / 200;
    EXPECT_NEAR(u, 80, 4);
    EXPECT_NEAR(h, u / 2, 1.5);

    UploadShading(driver_, kArea0, 2, std::vector<std::pair<std::uint16_t, std::uint16_t>>(200, {0xFFFF, 0xFFFF}));
    const auto cut = Scan(s, 200);
    EXPECT_EQ(std::accumulate(cut.begin(), cut.end(), 0), 0);
}

// ---------------------------------------------------------------- gamma

TEST_F(Gl125Pixel, GammaLooksUpEachColoursSlot)
{
    for (std::uint32_t c = 0; c < 3; ++c)
        driver_.Upload(kGammaMemory + 0x200 * c, Words(std::vector<std::uint16_t>(256, static_cast<std::uint16_t>(0x1134 * (c + 1)))));
    Gl125Scan s;
    s.mono = false;
    s.lines = 3;
    s.end = s.start + 64;
    s.gamma = true;
    const auto image = Scan(s, 3 * 64);
    for (std::size_t i = 0; i < image.size(); ++i)
        EXPECT_EQ(image[i], 0x11 * (i / 64 + 1)) << i;
}

TEST_F(Gl125Pixel, GammaInvertedFlagsAreCheckedAgainstEachOtherAndTheTable)
{
    std::vector<std::uint16_t> up(256);
    for (std::size_t i = 0; i < 256; ++i)
        up[i] = static_cast<std::uint16_t>(i * 256);
    driver_.Upload(kGammaMemory, Words(up));
    Gl125Scan s;
    s.end = s.start + 16;
    s.gamma = true;
    driver_.SetUpScan(s);
    driver_.Set(0xBD, 0x01);  // descending by one form only
    driver_.StartScan();
    ExpectViolations({"K10"});
    driver_.ReadImage(16);

    // All three forms say descending, the table ascends.
    driver_.Set(0xBE, 0x06);
    driver_.SetField(0xC5, 2, 0xFFFF);
    driver_.StartScan();
    ExpectViolations({"K10"});
    driver_.ReadImage(16);

    // A descending table with all three forms: nothing to log.
    std::reverse(up.begin(), up.end());
    driver_.Upload(kGammaMemory, Words(up));
    driver_.StartScan();
    const auto line = driver_.ReadImage(16);
    EXPECT_GT(line[0], 100);
}

// ---------------------------------------------------------------- line art

TEST_F(Gl125Pixel, LineArtKeepsThePreviousBitBetweenTheThresholds)
{
    // Gamma plateaus give exact samples whatever the noise: inputs by quarter
    // of the range map to 100, 128, 131 and 200.
    std::vector<std::uint16_t> plateaus(256);
    for (std::size_t i = 0; i < 256; ++i)
        plateaus[i] = static_cast<std::uint16_t>(std::array<int, 4>{100, 128, 131, 200}[i / 64] << 8);
    driver_.Upload(kGammaMemory, Words(plateaus));
    driver_.WritePairs({{0x14, 130}, {0x15, 126}}, true);

    // Measure each pixel's lifted dark, then shade it to the middle of the
    // quarter its wanted sample lies in.
    Gl125Scan s;
    s.end = s.start + 16;
    const auto raw = Scan(s, 16);
    const int wanted[] = {128, 200, 128, 100, 128, 131};
    const std::map<int, int> quarter{{100, 0}, {128, 1}, {131, 2}, {200, 3}};
    std::vector<std::pair<std::uint16_t, std::uint16_t>> gains(16, {0, 0});
    for (int j = 0; j < 16; ++j) {
        const double target = (quarter.at(wanted[j % 6]) * 64 + 32) * 256.0;
        gains[static_cast<std::size_t>(j)] = {0, static_cast<std::uint16_t>(target * 16384 / (raw[static_cast<std::size_t>(j)] * 256 + 128))};
    }
    UploadShading(driver_, kArea0, 2, gains);
    s.shading = true;
    s.gamma = true;
    s.lineArt = true;
    const auto bits = Scan(s, 2);
    // 1, 1, 1, 0, 0, 1 and again from the seventh pixel on (which follows a 1).
    EXPECT_EQ(bits[0], 0b11100111);
    EXPECT_EQ(bits[1], 0b10011110);
}

// ---------------------------------------------------------------- LEDs

TEST(Gl125Leds, LitTimeIsCountedInTicksAndClippedToTheLine)
{
    const BoardProfile board = *FindBoard("RM310-GL125");
    DeviceLogsStore logs;
    Gl125Pixels pixels(board, PixelSettings{}, logs);
    Gl125LineSetup colour;
    colour.colour = 1;
    colour.linePeriod = 3392;
    colour.ledOn = 62;
    colour.ledEnd = {3379, 3379, 3379};
    colour.tickSeconds = 12.0 / 30e6;
    colour.lampLit = true;
    auto e = pixels.Exposures(colour, board.fullExposureSeconds);
    EXPECT_NEAR(e[1] * board.fullExposureSeconds, 1.3268e-3, 1e-9);
    EXPECT_EQ(e[0], 0.0);
    EXPECT_EQ(e[2], 0.0);

    Gl125LineSetup mono = colour;
    mono.mono = true;
    mono.ledOn = 50;
    mono.ledEnd = {149, 248, 347};
    e = pixels.Exposures(mono, board.fullExposureSeconds);
    for (double x : e)
        EXPECT_NEAR(x * board.fullExposureSeconds, 99 * 0.4e-6, 1e-12);
    mono.ledEnd = {149, 248, 4000};
    e = pixels.Exposures(mono, board.fullExposureSeconds);
    EXPECT_NEAR(e[2] * board.fullExposureSeconds, (3392 - 248) * 0.4e-6, 1e-12);
    mono.lampLit = false;
    e = pixels.Exposures(mono, board.fullExposureSeconds);
    EXPECT_EQ(e[0] + e[1] + e[2], 0.0);
}

// ---------------------------------------------------------------- end to end

double Mean(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to)
{
    return std::accumulate(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                           bytes.begin() + static_cast<std::ptrdiff_t>(to), 0.0) /
           static_cast<double>(to - from);
}

struct DuplexCase {
    const char* board;
    std::uint32_t resolution;  // R for 300 dpi
    std::uint32_t ledTicks;    // full exposure at 24 MHz
    std::uint8_t modeFactor;
    bool sensorSelect;
    double entryToFront;
    double backLag;
};

class Gl125Duplex : public ::testing::TestWithParam<DuplexCase> {};

TEST_P(Gl125Duplex, TheCalibrationSheetScansWhiteThenTheStripOnBothSides)
{
    const DuplexCase c = GetParam();
    VirtualScanner scanner(c.board, {{"clock", "virtual"}, {"dark_level", "58"}});
    Gl125Driver d(scanner);
    scanner.InsertCalibrationSheet();
    scanner.AdvanceClock(1ms);

    // Pre-feed to 1.8 in of the sheet past the front line, then two inches
    // of 300-dpi colour lines: two steps every three chip lines.
    const double startIn = 1.8;
    d.MotorTable(1, {9000});
    d.MotorTable(4, {2000});
    d.MotorTable(5, {2000});
    Gl125Scan s;
    s.mono = false;
    s.averaging = c.resolution <= 600;
    s.resolution = c.resolution;
    s.start = kFirstActive;
    s.end = kFirstActive + 2 * 2592;
    s.lines = 3 * 600;
    s.period = 6000;
    s.ledEnd[0] = s.ledEnd[1] = s.ledEnd[2] = c.ledTicks;
    s.run = static_cast<std::uint32_t>((c.entryToFront + startIn) * 600) - 8;
    s.motor = true;
    s.lamp = true;
    s.modeFactor = c.modeFactor;
    s.sensorSelect = c.sensorSelect;
    d.SetUpScan(s);
    d.Set(0x02, 0x18);  // motor power, fast pre-feed
    d.FrontEnd(3, 2);
    for (std::uint8_t ch = 0; ch < 3; ++ch) {
        d.FrontEnd(static_cast<std::uint8_t>(0x20 + ch), 134);
        d.FrontEnd(static_cast<std::uint8_t>(0x28 + ch), 75);
    }
    d.StartScan();
    const std::uint32_t plane = 2 * 2592 * c.resolution / 600;  // 300 dpi over both sides
    // In pieces of 100 image lines, each well within the read time-out.
    std::vector<std::uint8_t> image;
    for (int piece = 0; piece < 6; ++piece) {
        const auto bytes = d.ReadImage(3 * plane * 100);
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(image.size(), 3u * plane * 600);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);

    // Middle half of a side in one plane of image line `row`.
    auto side = [&](std::size_t row, int p, int back) {
        const std::size_t at = (row * 3 + static_cast<std::size_t>(p)) * plane + (back ? plane / 2 : 0);
        return Mean(image, at + plane / 8, at + 3 * plane / 8);
    };
    auto rowAt = [&](double inches) { return static_cast<std::size_t>((inches - startIn) * 300); };
    for (int p = 0; p < 3; ++p) {
        EXPECT_GT(side(rowAt(1.95), p, 0), 200) << "front white, plane " << p;
        EXPECT_GT(side(rowAt(1.95), p, 1), 200) << "back white, plane " << p;
        EXPECT_LT(side(rowAt(2.2), p, 0), 30) << "front strip, plane " << p;
        EXPECT_GT(side(rowAt(2.1 + c.backLag - 0.1), p, 1), 200) << "back still white, plane " << p;
        EXPECT_LT(side(rowAt(2.1 + c.backLag + 0.1), p, 1), 30) << "back strip, plane " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, Gl125Duplex,
                         ::testing::Values(DuplexCase{"RM310-GL125", 300, 5214, 2, false, 0.59, 268.0 / 600},
                                           DuplexCase{"RM460", 600, 2654, 1, true, 0.80, 268.0 / 300}));

}  // namespace
}  // namespace emulator::testing

namespace emulator::testing {
namespace {

TEST(Gl125Scaler, RM460At600DpiGivesEachSensorPixelTwice)
{
    VirtualScanner scanner("RM460", {{"clock", "virtual"}, {"dark_level", "58"}});
    Gl125Driver driver(scanner);
    Gl125Scan s;
    s.resolution = 1200;
    s.end = s.start + 100;
    s.modeFactor = 1;
    s.sensorSelect = true;
    driver.SetUpScan(s);
    LiftedDark(driver);
    driver.StartScan();
    const auto line = driver.ReadImage(200);
    ASSERT_EQ(line.size(), 200u);
    int differing = 0;
    for (std::size_t j = 0; j < 100; ++j)
        differing += line[2 * j] != line[2 * j + 1];
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

TEST(Gl125ShadingSwitch, AlwaysThreeShiftsResamplingSlotsByOne)
{
    VirtualScanner scanner("RM310-GL125", {{"clock", "virtual"}, {"dark_level", "58"}, {"gl125.shading_slot", "always3"}});
    Gl125Driver driver(scanner);
    std::vector<std::uint16_t> words(2 * Position(400), 0);
    words[2 * Position(10 + 3) + 1] = 0xFFFF;
    driver.Upload(kArea0, Words(words));
    Gl125Scan s;
    s.end = s.start + 100;
    s.shading = true;
    driver.SetUpScan(s);
    LiftedDark(driver);
    driver.StartScan();
    const auto line = driver.ReadImage(100);
    for (std::size_t j = 0; j < line.size(); ++j)
        EXPECT_EQ(line[j] != 0, j == 10) << j;
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

}  // namespace
}  // namespace emulator::testing
