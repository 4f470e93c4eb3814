// Sheets from PNM files, the calibration sheet, and the paper path.
#include "../src/paper/PaperPath.h"
#include "../src/paper/PnmImage.h"
#include "../src/paper/Sheet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace emulator {
namespace {

using namespace std::chrono_literals;

PnmImage Flat(std::uint32_t width, std::uint32_t height, std::uint16_t value, std::uint32_t channels = 1,
              std::uint32_t maxval = 255)
{
    PnmImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.maxval = maxval;
    image.samples.assign(static_cast<std::size_t>(width) * height * channels, value);
    return image;
}

Sheet FlatSheet(double widthIn, double lengthIn)
{
    return Sheet::FromImages(Flat(static_cast<std::uint32_t>(widthIn * 600), static_cast<std::uint32_t>(lengthIn * 600), 255),
                             std::nullopt, PnmTransfer::Linear);
}

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

TEST(Pnm, ParsesGrayColourAndWideSamples)
{
    std::vector<std::uint8_t> p5 = Bytes("P5 # comment\n2 1\n# another\n255\n");
    p5.push_back(7);
    p5.push_back(200);
    const PnmImage gray = ParsePnm(p5);
    EXPECT_EQ(gray.width, 2u);
    EXPECT_EQ(gray.channels, 1u);
    EXPECT_EQ(gray.At(1, 0, 2), 200);

    std::vector<std::uint8_t> p6 = Bytes("P6\n1 1\n65535\n");
    for (std::uint8_t b : {0x12, 0x34, 0x00, 0x01, 0xFF, 0xFF})
        p6.push_back(b);
    const PnmImage colour = ParsePnm(p6);
    EXPECT_EQ(colour.At(0, 0, 0), 0x1234);
    EXPECT_EQ(colour.At(0, 0, 1), 0x0001);
    EXPECT_EQ(colour.At(0, 0, 2), 0xFFFF);

    EXPECT_EQ(ParsePnm(EncodePnm(colour)).samples, colour.samples);
}

TEST(Pnm, RefusesWhatIsNotABinaryImage)
{
    for (std::string_view text : {"P2\n1 1\n255\n0", "P5\n2 2\n255\n\x01\x02", "P5\n1 1\n70000\n\x01\x01",
                                  "P6\n0 1\n255\n", "P5 1", "",
                                  "P6\n65536 65536\n255\n\x01",   // size beyond 32 bits
                                  "P6\n1431655766 1\n255\n\x01\x02"}) {  // x 3 wraps to 2 in 32 bits
        try {
            ParsePnm(Bytes(text));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "not a P5 or P6 image");
        }
    }
}

TEST(Sheet, FileErrors)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("paper_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const PnmImage& image) {
        const auto bytes = EncodePnm(image);
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return dir / name;
    };
    const auto front = write("front.pnm", Flat(1200, 1500, 255));
    const auto otherSize = write("other.pnm", Flat(1200, 1501, 255));
    const auto small = write("small.pnm", Flat(1200, 1199, 255));
    const auto narrow = write("narrow.pnm", Flat(599, 1500, 255));

    EXPECT_NO_THROW(Sheet::FromFiles(front, front, PnmTransfer::Linear));
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {otherSize, "back size differs"}, {dir / "missing.pnm", "cannot read " + (dir / "missing.pnm").string()}};
    for (const auto& [back, reason] : cases) {
        try {
            Sheet::FromFiles(front, back, PnmTransfer::Linear);
            ADD_FAILURE() << reason;
        } catch (const Error& e) {
            EXPECT_EQ(e.what(), reason);
        }
    }
    for (const auto& tooSmall : {small, narrow})
        EXPECT_THROW(
            try { Sheet::FromFiles(tooSmall, {}, PnmTransfer::Linear); } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "sheet too small");
                throw;
            },
            Error);
    std::filesystem::remove_all(dir);
}

TEST(Sheet, ReflectanceTransfers)
{
    PnmImage image = Flat(600, 1200, 0, 3, 1000);
    image.samples[0] = 1000;  // red of the first pixel
    image.samples[1] = 500;
    const Sheet linear = Sheet::FromImages(image, std::nullopt, PnmTransfer::Linear);
    EXPECT_FLOAT_EQ(linear.Side(0).Reflectance(0, 0, 0), 0.90f);
    EXPECT_FLOAT_EQ(linear.Side(0).Reflectance(0, 0, 1), 0.45f);
    EXPECT_FLOAT_EQ(linear.Side(0).Reflectance(0, 0, 2), 0.0f);
    EXPECT_FLOAT_EQ(linear.Side(1).Reflectance(0, 0, 2), 0.90f);  // no back: plain white
    const Sheet srgb = Sheet::FromImages(image, std::nullopt, PnmTransfer::Srgb);
    EXPECT_NEAR(srgb.Side(0).Reflectance(0, 0, 1), 0.90 * 0.214, 0.001);
}

TEST(Sheet, CalibrationSheetOnBothSides)
{
    const Sheet sheet = Sheet::Calibration(4.00);
    EXPECT_EQ(sheet.Columns(), 2400u);
    EXPECT_DOUBLE_EQ(sheet.LengthIn(), 11.0);
    for (int side : {0, 1}) {
        EXPECT_FLOAT_EQ(sheet.Side(side).Reflectance(100, 1259, 1), 0.90f);
        EXPECT_FLOAT_EQ(sheet.Side(side).Reflectance(100, 1260, 1), 0.01f);
        EXPECT_FLOAT_EQ(sheet.Side(side).Reflectance(2399, 2759, 0), 0.01f);
        EXPECT_FLOAT_EQ(sheet.Side(side).Reflectance(0, 2760, 2), 0.90f);
        EXPECT_FLOAT_EQ(sheet.Side(side).Reflectance(0, 6599, 2), 0.90f);
    }
}

class PaperPathTest : public ::testing::Test {
protected:
    void Steps(int n, bool forward = true)
    {
        for (int i = 0; i < n; ++i)
            path_.Step(forward);
    }

    BoardProfile board_ = *FindBoard("RM310-GL841");  // 600 steps per inch
    PaperPath path_{board_, PaperSettings{}};
};

TEST_F(PaperPathTest, ReadySheetSensorExitAndNextSheet)
{
    path_.Enqueue(FlatSheet(4.0, 3.0));
    path_.Enqueue(FlatSheet(4.0, 2.0));
    EXPECT_FALSE(path_.SensorPaper());
    EXPECT_FALSE(path_.Update(1ms, false));  // motor running: no pick
    EXPECT_TRUE(path_.Update(2ms, true));
    EXPECT_TRUE(path_.SensorPaper());
    EXPECT_EQ(path_.State().queued, 1u);

    Steps(1799);
    EXPECT_TRUE(path_.SensorPaper());
    Steps(1);  // trailing edge at the sensor
    EXPECT_FALSE(path_.SensorPaper());
    EXPECT_FALSE(path_.Update(3ms, true));  // still in the path until the exit
    Steps(899);
    ASSERT_TRUE(path_.State().inPath);
    EXPECT_NEAR(path_.State().inPath->y, 4.4983, 1e-3);
    Steps(1);  // trailing edge 1.5 in past the sensor
    const PaperState gone = path_.State();
    EXPECT_FALSE(gone.inPath);
    ASSERT_EQ(gone.departed.size(), 1u);
    EXPECT_NEAR(gone.departed[0].y, 4.5, 1e-9);
    EXPECT_DOUBLE_EQ(gone.departed[0].length, 3.0);

    EXPECT_FALSE(path_.Update(4ms, false));
    EXPECT_TRUE(path_.Update(5ms, true));
    EXPECT_DOUBLE_EQ(path_.State().inPath->length, 2.0);
}

TEST_F(PaperPathTest, ReverseStopsAtTheReadyPosition)
{
    path_.Enqueue(FlatSheet(4.0, 3.0));
    path_.Update(0ms, true);
    Steps(10);
    Steps(25, false);
    EXPECT_DOUBLE_EQ(path_.State().inPath->y, 0.0);
    EXPECT_TRUE(path_.SensorPaper());
    Steps(6);
    EXPECT_NEAR(path_.State().inPath->y, 0.01, 1e-12);
}

TEST(PaperPath, PickDelayAndTheFasterMotor)
{
    BoardProfile board = *FindBoard("RM410");
    PaperSettings settings;
    settings.pickDelaySeconds = 0.5;
    PaperPath path(board, settings);
    path.Enqueue(FlatSheet(2.0, 4.0));
    EXPECT_FALSE(path.Update(1000ms, true));
    EXPECT_FALSE(path.Update(1400ms, true));
    EXPECT_FALSE(path.Update(1450ms, false));  // motor ran: the wait starts again
    EXPECT_FALSE(path.Update(1500ms, true));
    EXPECT_TRUE(path.Update(2000ms, true));
    for (int i = 0; i < 3047; ++i)
        path.Step(true);
    EXPECT_NEAR(path.State().inPath->y, 5.0, 1e-9);
}

TEST_F(PaperPathTest, JamSlipAndNoPick)
{
    path_.SetNoPick(true);
    path_.Enqueue(FlatSheet(4.0, 3.0));
    EXPECT_FALSE(path_.Update(0ms, true));
    path_.SetNoPick(false);
    EXPECT_TRUE(path_.Update(1ms, true));

    path_.SetSlip(0.25);
    Steps(400);
    EXPECT_NEAR(path_.State().inPath->y, 0.5, 1e-9);
    path_.SetSlip(0);

    path_.SetJam(1.0);
    Steps(600);
    EXPECT_NEAR(path_.State().inPath->y, 1.0, 1e-9);
    Steps(10, false);
    EXPECT_NEAR(path_.State().inPath->y, 1.0, 1e-9);
    EXPECT_TRUE(path_.SensorPaper());
    path_.SetJam(std::nullopt);
    Steps(6);
    EXPECT_NEAR(path_.State().inPath->y, 1.01, 1e-9);
}

// A sheet driven step by step glides between the steps at their pace, so a
// line between two steps sees it part of the way to the next position;
// once the steps stop it stays where the last one left it.
TEST(PaperPathSampling, TheSheetGlidesBetweenSteps)
{
    const BoardProfile board = *FindBoard("RM310-GL841");
    PaperPath path(board, PaperSettings{});
    path.Enqueue(Sheet::FromImages(Flat(1200, 1800, 255), Flat(1200, 1800, 255), PnmTransfer::Linear));
    path.Update(0ms, true);
    path.Step(true, 10ms);
    EXPECT_DOUBLE_EQ(path.PositionAt(12ms), 1.0 / 600) << "one step gives no pace yet";
    path.Step(true, 14ms);
    EXPECT_NEAR(path.PositionAt(15ms), 2.0 / 600 + 0.25 / 600, 1e-12);
    EXPECT_NEAR(path.PositionAt(17ms), 2.0 / 600 + 0.75 / 600, 1e-12);
    EXPECT_DOUBLE_EQ(path.PositionAt(18ms), 2.0 / 600) << "no step came: the sheet stands";
    path.Step(false, 18ms);
    EXPECT_DOUBLE_EQ(path.PositionAt(19ms), 1.0 / 600) << "a reversal starts a new pace";
}

// A duplex sheet with a dark mark near the left edge of each face: the back
// line sees its mark at the other end (mirrored), and L_b of travel later.
TEST(PaperPathSampling, DuplexMirrorDelayAndPlacement)
{
    const BoardProfile board = *FindBoard("RM310-GL841");
    PnmImage front = Flat(2400, 1800, 255);
    PnmImage back = Flat(2400, 1800, 255);
    for (std::uint32_t row = 0; row < 1800; ++row) {
        front.samples[row * 2400 + 10] = 0;
        back.samples[row * 2400 + 20] = 0;
    }
    struct Case {
        PaperSettings::Placement placement;
        double offsetIn;
        int leftPixel;  // sensor pixel under sheet column 0
    };
    const Case cases[] = {{PaperSettings::Placement::Centred, 0, 48},
                          {PaperSettings::Placement::Left, 0, 0},
                          {PaperSettings::Placement::Offset, 0.05, 30}};
    for (const Case& c : cases) {
        PaperSettings settings;
        settings.placement = c.placement;
        settings.offsetIn = c.offsetIn;
        PaperPath path(board, settings);
        path.Enqueue(Sheet::FromImages(front, back, PnmTransfer::Linear));
        path.Update(0ms, true);
        std::vector<Rgb> line(2496);
        auto dark = [&](int side) {
            path.SampleLine(side, 600, line);
            std::vector<int> marks;
            for (int p = 0; p < 2496; ++p) {
                if (line[p][1] == 0.0f)
                    marks.push_back(p);
            }
            return marks;
        };
        // Front line 0.59 in from the sensor: the sheet is not there yet.
        EXPECT_TRUE(dark(0).empty());
        // One step past the line (a line right at the leading edge sees it
        // half over the backing).
        for (int i = 0; i < 355; ++i)
            path.Step(true);
        EXPECT_EQ(dark(0), std::vector<int>{c.leftPixel + 10});
        path.SampleLine(0, 600, line);
        EXPECT_FLOAT_EQ(line[c.leftPixel - (c.leftPixel > 0 ? 1 : 0)][1], c.leftPixel > 0 ? 0.35f : 0.90f);
        EXPECT_TRUE(dark(1).empty());
        for (int i = 0; i < 268; ++i)
            path.Step(true);
        EXPECT_EQ(dark(1), std::vector<int>{c.leftPixel + 2399 - 20});
    }
}

// The calibration sheet covers the RM310 sensor from end to end (the
// calibration gives every pixel a gain from it), and both lines see the
// strip over 2.05 in of travel.
TEST(PaperPathSampling, CalibrationSheetUnderBothLines)
{
    const BoardProfile board = *FindBoard("RM310-GL841");
    PaperPath path(board, PaperSettings{});
    path.Enqueue(Sheet::Calibration(board.calibrationSheetWidthIn));
    path.Update(0ms, true);
    std::vector<Rgb> front(2496), back(2496);
    int both = 0;
    bool edgesChecked = false;
    for (int step = 0; step < 4000; ++step) {
        path.Step(true);
        path.SampleLine(0, 600, front);
        path.SampleLine(1, 600, back);
        const bool frontStrip = front[1248][1] == 0.01f;
        const bool backStrip = back[1248][1] == 0.01f;
        both += frontStrip && backStrip;
        if (frontStrip && !edgesChecked) {
            edgesChecked = true;
            EXPECT_FLOAT_EQ(front[0][1], 0.01f);
            EXPECT_FLOAT_EQ(front[2495][1], 0.01f);
        }
    }
    EXPECT_TRUE(edgesChecked);
    EXPECT_NEAR(both / 600.0, 2.05, 0.01);
}

TEST(PaperPathSampling, ThreeHundredDpiPixelAveragesTwoColumns)
{
    const BoardProfile board = *FindBoard("RM460");
    PnmImage front = Flat(2400, 1800, 255);
    for (std::uint32_t row = 0; row < 1800; ++row)
        front.samples[row * 2400 + 1] = 0;
    PaperSettings settings;
    settings.placement = PaperSettings::Placement::Left;
    PaperPath path(board, settings);
    path.Enqueue(Sheet::FromImages(front, std::nullopt, PnmTransfer::Linear));
    path.Update(0ms, true);
    for (int i = 0; i < 600; ++i)
        path.Step(true);
    std::vector<Rgb> line(2592);
    path.SampleLine(0, 300, line);
    EXPECT_FLOAT_EQ(line[0][0], 0.45f);
    EXPECT_FLOAT_EQ(line[1][0], 0.90f);
    EXPECT_FLOAT_EQ(line[1200][0], 0.35f);
}

} // namespace
} // namespace emulator
