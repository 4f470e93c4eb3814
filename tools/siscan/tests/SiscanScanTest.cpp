// siscan run as a front end would run it: a child process loading
// Pelidor.dll, against the virtual scanner's command serving the sample page.
#include "ChildPrograms.h"
#include "PageImages.h"

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace siscan_test {
namespace {

namespace fs = std::filesystem;

// Under a CPU emulator (the 32-bit build on a kernel without 32-bit support)
// one gray page stands for the others, which take minutes there.
#define SKIP_PAGES_UNDER_CPU_EMULATOR()                                                         \
    do {                                                                                       \
        if (emulator::UnderCpuEmulator()) GTEST_SKIP() << "whole pages under a CPU emulator"; \
    } while (0)

// The virtual scanner's sensor: 5184 pixels at 600 dpi; an 11-inch page.
constexpr uint32_t kOpticalWidth = 5184;
constexpr uint32_t kOpticalDpi = 600;
constexpr uint32_t kPageInches = 11;
// The RM410's band of backing above the sheet: its paper sensor lies this far
// before the scan line.
constexpr double kBandInches = 0.58;

// With paper-end detection a page is the band and the sheet. Two processes
// on the real clock place the trailing edge within two millimetres on a busy
// machine (the library's own tests hold it to one).
void ExpectSheetLength(uint32_t height, double sheetInches, uint32_t dpi)
{
    EXPECT_NEAR(height, (kBandInches + sheetInches) * dpi, 2 * dpi / 25.4);
}

// An uncalibrated scan against the sheet it came from.
constexpr double kLeastCorrelation = 0.95;

std::string SamplePage(const char* face) { return (BuildFolder() / "samples" / face).string(); }

std::string OutPrefix() { return (fs::path(platform::testing::Root()) / "page").string(); }

Image Mirror(const Image& image)
{
    Image out = image;
    for (uint32_t y = 0; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            for (uint32_t c = 0; c < image.channels; ++c) {
                out.pixels[(size_t(y) * image.width + x) * image.channels + c] = image.At(image.width - 1 - x, y, c);
            }
        }
    }
    return out;
}

void ExpectGeometry(const Image& image, const char* magic, uint32_t dpi)
{
    EXPECT_EQ(image.magic, magic);
    EXPECT_EQ(image.width, kOpticalWidth * dpi / kOpticalDpi);
    ExpectSheetLength(image.height, kPageInches, dpi);
}

TEST(SiscanScan, SimplexGrayPage)
{
    const std::optional<Image> sheet = ReadPnm(SamplePage("sample-front.ppm"));
    ASSERT_TRUE(sheet) << "the sample page is built with the tests";
    Emulator scanner("RM410", {SamplePage("sample-front.ppm")});
    ASSERT_TRUE(scanner.Ready());

    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--resolution", "150", "--mode", "gray",
                                                       "--out", OutPrefix()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(OutPrefix() + "-back.pnm"));
    const std::optional<Image> front = ReadPnm(OutPrefix() + "-front.pnm");
    ASSERT_TRUE(front);
    ExpectGeometry(*front, "P5", 150);

    const Placement found = LocateSheet(*front, Channel(Reduce(*sheet, 600 / 150), -1), 150);
    EXPECT_GT(found.correlation, kLeastCorrelation) << "at " << found.dx << ", " << found.dy;
    EXPECT_EQ(scanner.Violations(), 0);
}

// The plain model name goes through the Still Image service (a 32-bit
// process on a 64-bit system keeps to the device file) and gives the page
// the direct name gives. The service host, not siscan, makes the device
// requests, so the scanner keeps the real clock.
TEST(SiscanScan, PlainModelNameScansThroughTheStillImageService)
{
    Emulator scanner("RM310-GL841", {SamplePage("sample-front.ppm")}, "real");
    ASSERT_TRUE(scanner.Ready());

    std::optional<Image> pages[2];
    const char* const names[2] = {"RM310__", "RM310"};
    for (int i = 0; i < 2; ++i) {
        if (i == 1) {
            ASSERT_EQ(scanner.Ask("insert " + SamplePage("sample-front.ppm")), "ok");
        }
        const std::string prefix = OutPrefix() + names[i];
        const Completed run = RunProgram(BuildProgram("siscan"), {"--model", names[i], "--resolution", "150",
                                                                  "--mode", "gray", "--out", prefix});
        ASSERT_EQ(run.status, 0) << names[i] << ": " << run.err;
        pages[i] = ReadPnm(prefix + "-front.pnm");
        ASSERT_TRUE(pages[i]) << names[i];
    }
    EXPECT_EQ(pages[1]->magic, "P5");
    EXPECT_EQ(pages[1]->width, 4160u * 150 / 1000);  // the RM310's 4.16-inch sensor
    EXPECT_EQ(pages[1]->width, pages[0]->width);
    EXPECT_EQ(pages[1]->height, pages[0]->height);
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST(SiscanScan, DuplexColourPageWithARightReadingBack)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    const std::optional<Image> frontSheet = ReadPnm(SamplePage("sample-front.ppm"));
    const std::optional<Image> backSheet = ReadPnm(SamplePage("sample-back.ppm"));
    ASSERT_TRUE(frontSheet && backSheet);
    Emulator scanner("RM410", {SamplePage("sample-front.ppm") + "," + SamplePage("sample-back.ppm")});
    ASSERT_TRUE(scanner.Ready());

    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--resolution", "100", "--mode", "color",
                                                       "--duplex", "--out", OutPrefix()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<Image> front = ReadPnm(OutPrefix() + "-front.pnm");
    const std::optional<Image> back = ReadPnm(OutPrefix() + "-back.pnm");
    ASSERT_TRUE(front && back);
    ExpectGeometry(*front, "P6", 100);
    ExpectGeometry(*back, "P6", 100);

    // Each colour channel of each side resembles the sheet's.
    const Image frontAt100 = Reduce(*frontSheet, 600 / 100);
    const Image backAt100 = Reduce(*backSheet, 600 / 100);
    for (int c = 0; c < 3; ++c) {
        const Placement f = LocateSheet(Channel(*front, c), Channel(frontAt100, c), 100);
        EXPECT_GT(f.correlation, kLeastCorrelation) << "front channel " << c;
        const Placement b = LocateSheet(Channel(*back, c), Channel(backAt100, c), 100);
        EXPECT_GT(b.correlation, kLeastCorrelation) << "back channel " << c;
    }
    // The back reads as the back sheet does, not mirrored.
    const Image backGray = Channel(*back, -1);
    const Placement right = LocateSheet(backGray, Channel(backAt100, -1), 100);
    const Placement mirrored = LocateSheet(backGray, Channel(Mirror(backAt100), -1), 100);
    EXPECT_GT(right.correlation, mirrored.correlation + 0.2);
    EXPECT_EQ(scanner.Violations(), 0);
}

TEST(SiscanScan, LineArtPageIsABitmap)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    Emulator scanner("RM1100", {SamplePage("sample-front.ppm")});
    ASSERT_TRUE(scanner.Ready());
    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM1100__", "--resolution", "75", "--mode", "lineart",
                                                       "--out", OutPrefix()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<Image> front = ReadPnm(OutPrefix() + "-front.pnm");
    ASSERT_TRUE(front);
    EXPECT_EQ(front->magic, "P4");
    ExpectSheetLength(front->height, kPageInches, 75);
    EXPECT_GE(front->width, kOpticalWidth * 75 / kOpticalDpi);
    // Mostly white paper with black text.
    size_t white = 0;
    for (uint8_t p : front->pixels) {
        white += p == 255;
    }
    EXPECT_GT(white, front->pixels.size() / 2);
    EXPECT_LT(white, front->pixels.size());
    EXPECT_EQ(scanner.Violations(), 0);
}

// The calibration sheet first, then the page: calibrated, the page scans
// closer to the sheet than the uncalibrated bound.
TEST(SiscanScan, CalibratesThenScans)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    const std::optional<Image> sheet = ReadPnm(SamplePage("sample-front.ppm"));
    ASSERT_TRUE(sheet);
    Emulator scanner("RM410", {});
    ASSERT_TRUE(scanner.Ready());
    ASSERT_EQ(scanner.Ask("insert-calibration"), "ok");
    ASSERT_EQ(scanner.Ask("insert " + SamplePage("sample-front.ppm")), "ok");

    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--resolution", "100", "--mode",
                                                              "gray", "--calibrate", "--out", OutPrefix()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<Image> front = ReadPnm(OutPrefix() + "-front.pnm");
    ASSERT_TRUE(front);
    ExpectGeometry(*front, "P5", 100);
    const Placement found = LocateSheet(*front, Channel(Reduce(*sheet, 600 / 100), -1), 100);
    EXPECT_GT(found.correlation, kLeastCorrelation);
    EXPECT_EQ(scanner.Violations(), 0);
}

// The README's main command (scripts/scan-sample.sh): the calibration sheet
// and then the sample page in the feeder, siscan calibrating and scanning
// both sides at 150 dpi colour with paper-end detection. The page a person
// keeps: the sheet from its leading edge at the band's depth to its end,
// paper white and ink black, the colour channels in register.
TEST(SiscanScan, MainCommandGivesAPageToKeep)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    Emulator scanner("RM410", {});
    ASSERT_TRUE(scanner.Ready());
    ASSERT_EQ(scanner.Ask("insert-calibration"), "ok");
    ASSERT_EQ(scanner.Ask("insert " + SamplePage("sample-front.ppm") + "," + SamplePage("sample-back.ppm")), "ok");
    const uint32_t dpi = 150;
    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--calibrate", "--resolution", "150",
                                                              "--mode", "color", "--duplex", "--out", OutPrefix()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("white-only"), std::string::npos) << run.err;
    for (const char* side : {"-front.pnm", "-back.pnm"}) {
        const std::optional<Image> page = ReadPnm(OutPrefix() + side);
        ASSERT_TRUE(page) << side;
        EXPECT_EQ(page->magic, "P6");
        EXPECT_EQ(page->width, kOpticalWidth * dpi / kOpticalDpi);
        // The page's own rows: backing to the leading edge, then the sheet.
        std::array<std::vector<double>, 3> rows;
        for (uint32_t y = 0; y < page->height; ++y) {
            for (uint32_t c = 0; c < 3; ++c) {
                double sum = 0;
                for (uint32_t x = page->width / 2 - 100; x < page->width / 2 + 100; ++x) sum += page->At(x, y, c);
                rows[c].push_back(sum / 200);
            }
        }
        std::array<double, 3> crossing{};
        for (uint32_t c = 0; c < 3; ++c) {
            const double backing = rows[c][2];
            const double paper = rows[c][static_cast<size_t>((kBandInches + 0.2) * dpi)];
            ASSERT_GT(paper, backing + 50) << side << " channel " << c;
            const double level = (backing + paper) / 2;
            for (size_t y = 1; y < rows[c].size(); ++y) {
                if (rows[c][y - 1] < level && rows[c][y] >= level) {
                    crossing[c] = static_cast<double>(y - 1) + (level - rows[c][y - 1]) / (rows[c][y] - rows[c][y - 1]);
                    break;
                }
            }
        }
        if (std::string(side) == "-front.pnm") {
            EXPECT_NEAR(crossing[0], kBandInches * dpi, dpi / 25.4) << "leading edge";
            ExpectSheetLength(page->height, kPageInches, dpi);
        }
        for (uint32_t c = 1; c < 3; ++c) {
            EXPECT_GE(crossing[c] - crossing[0], -0.05) << side << " channel " << c << " before red";
            EXPECT_LE(crossing[c] - crossing[0], 0.85) << side << " channel " << c << " more than 0.85 line after red";
        }
        // Over the sheet below the band: the paper white, the ink black.
        std::vector<uint8_t> levels;
        const auto top = static_cast<uint32_t>((kBandInches + 0.3) * dpi);
        for (uint32_t y = top; y + dpi / 4 < page->height; y += 2) {
            for (uint32_t x = dpi / 2; x + dpi / 2 < page->width; x += 2) levels.push_back(page->At(x, y, 1));
        }
        std::sort(levels.begin(), levels.end());
        EXPECT_GE(levels[levels.size() * 95 / 100], 255 * 0.9) << side << " paper";
        // The front's gray wedge starts with black; the ink (24 of 255 on the
        // sheet) comes out at about 52 under the default tone curve.
        const bool front = std::string(side) == "-front.pnm";
        EXPECT_LE(levels[levels.size() / 500], 255 * (front ? 0.15 : 0.25)) << side << " black";
    }
    EXPECT_EQ(scanner.Violations(), 0);
}

// A plain sheet of one gray level, 4 x 2.5 in at 600 dpi.
std::string FlatSheet(const char* name, uint8_t level)
{
    const fs::path path = fs::path(platform::testing::Root()) / name;
    std::ofstream out(path, std::ios::binary);
    out << "P5\n2400 1500\n255\n" << std::string(size_t{2400} * 1500, static_cast<char>(level));
    return path.string();
}

// Mean of a 100-dpi gray page over the middle of the sheet (rows 0.9 to
// 2.7 in, the middle inch across).
double SheetLevel(const Image& image)
{
    double sum = 0;
    uint32_t count = 0;
    for (uint32_t y = 90; y < 270 && y < image.height; ++y) {
        for (uint32_t x = image.width / 2 - 50; x < image.width / 2 + 50; ++x, ++count) {
            sum += image.At(x, y);
        }
    }
    return count ? sum / count : 0.0;
}

// Each run takes the sheet in the feeder and feeds it out, so the next run
// takes the next sheet; with paper-end detection (the default) the page ends
// with the sheet (the band of backing the RM410 shows above it, 0.58 in, and
// 2.5 in of sheet), with --fixed-length it is the whole scan length.
TEST(SiscanScan, EachRunTakesTheNextSheet)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    Emulator scanner("RM410", {FlatSheet("light.pgm", 230), FlatSheet("dark.pgm", 40)});
    ASSERT_TRUE(scanner.Ready());
    const std::vector<std::string> args{"--model", "RM410__", "--resolution", "100", "--mode", "gray", "--out",
                                        OutPrefix()};

    Completed run = RunProgram(BuildProgram("siscan"), args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::optional<Image> first = ReadPnm(OutPrefix() + "-front.pnm");
    ASSERT_TRUE(first);
    ExpectSheetLength(first->height, 2.5, 100);

    std::vector<std::string> fixed = args;
    fixed.insert(fixed.begin(), "--fixed-length");
    run = RunProgram(BuildProgram("siscan"), fixed);
    ASSERT_EQ(run.status, 0) << run.err;
    std::optional<Image> second = ReadPnm(OutPrefix() + "-front.pnm");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->height, kPageInches * 100);
    EXPECT_GT(SheetLevel(*first), SheetLevel(*second) + 40) << "the second run scans the second sheet";

    // The feeder is empty now.
    fs::remove(OutPrefix() + "-front.pnm");
    run = RunProgram(BuildProgram("siscan"), args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no paper"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(OutPrefix() + "-front.pnm"));
    EXPECT_EQ(scanner.Violations(), 0);
}

// A sheet that stops moving mid-page is still at the paper sensor after
// siscan has fed it out: a jam, reported with a failure, and no page.
TEST(SiscanScan, AJamIsReported)
{
    SKIP_PAGES_UNDER_CPU_EMULATOR();
    Emulator scanner("RM410", {FlatSheet("light.pgm", 230)});
    ASSERT_TRUE(scanner.Ready());
    ASSERT_EQ(scanner.Ask("fault jam:1.5"), "ok");
    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--resolution", "75", "--mode",
                                                              "gray", "--out", OutPrefix()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("paper jam"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(OutPrefix() + "-front.pnm"));
    EXPECT_EQ(scanner.Violations(), 0);
}

struct FailureCase {
    std::string name;
    std::vector<std::string> args;
    int status;
    std::string message;  // a part of standard error
};

class SiscanFailure : public ::testing::TestWithParam<FailureCase> {};

// No scanner is served: failures are reported with the code and its text.
TEST_P(SiscanFailure, ExitsWithAMessage)
{
    const FailureCase& c = GetParam();
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg == "OUT") {
            arg = OutPrefix();
        }
    }
    const Completed run = RunProgram(BuildProgram("siscan"), args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(OutPrefix() + "-front.pnm"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SiscanFailure,
    ::testing::Values(
        FailureCase{"NoArguments", {}, 2, "usage: "},
        FailureCase{"BadMode", {"--model", "RM410__", "--mode", "sepia", "--out", "OUT"}, 2, "usage: "},
        FailureCase{"BadResolution", {"--model", "RM410__", "--resolution", "fine", "--out", "OUT"}, 2,
                    "--resolution needs a positive whole number"},
        FailureCase{"UnknownModel", {"--model", "NoSuchScanner__", "--out", "OUT"}, 1,
                    "SI_OpenInterface(\"NoSuchScanner__\") failed: 10 (The scanner name specified is not recognized.)"},
        FailureCase{"NoHardware", {"--model", "RM410__", "--out", "OUT"}, 1,
                    "failed: 11 (The scanner hardware was not detected.)"}),
    [](const ::testing::TestParamInfo<FailureCase>& testCase) { return testCase.param.name; });

TEST(SiscanScan, UnsupportedResolutionIsReportedAsAnInvalidValue)
{
    Emulator scanner("RM410", {});
    ASSERT_TRUE(scanner.Ready());
    const Completed run = RunProgram(BuildProgram("siscan"), {"--model", "RM410__", "--resolution", "123", "--out", OutPrefix()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("SI_SetProperty(4, 123) failed: 2305 (The property value specified was invalid.)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(scanner.Violations(), 0);
}

}  // namespace
}  // namespace siscan_test
