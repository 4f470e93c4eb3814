// siscan run as a front end would run it: a child process loading
// Pelidor.dll, against the virtual scanner's command serving the sample page.
#include "ChildPrograms.h"
#include "PageImages.h"

#include <emulator/HostSpeed.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
    EXPECT_EQ(image.height, kPageInches * dpi);
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
// the direct name gives.
TEST(SiscanScan, PlainModelNameScansThroughTheStillImageService)
{
    Emulator scanner("RM310-GL841", {SamplePage("sample-front.ppm")});
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
    EXPECT_EQ(front->height, kPageInches * 75);
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
