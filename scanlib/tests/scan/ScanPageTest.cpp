// Whole pages through the twenty SI functions against the virtual scanner:
// geometry as the properties announce it, content that resembles the sheet
// (uncalibrated), a right-reading back side, both spools and the paper end.
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <string>

namespace {

using namespace siclient;
using namespace scantest;

constexpr double kSheetWidth = 4.0;
constexpr double kSheetLength = 3.0;

struct PageCase {
    int mode;  // 0 line art, 1 gray, 2 colour
    int dpi;
    bool duplex;
    bool toMemory;
};

std::string CaseName(const ::testing::TestParamInfo<PageCase>& info) {
    static const char* const kModes[] = {"LineArt", "Gray", "Colour"};
    return std::string(kModes[info.param.mode]) + std::to_string(info.param.dpi) +
           (info.param.duplex ? "Duplex" : "Simplex") + (info.param.toMemory ? "Memory" : "File");
}

class ScanTest : public DeviceTest {
protected:
    void SetUp() override {
        front_ = MakeSheet(kSheetWidth, kSheetLength, false);
        back_ = MakeSheet(kSheetWidth, kSheetLength, true);
        frontPath_ = std::filesystem::path(platform::testing::Root()) / "front.pgm";
        backPath_ = std::filesystem::path(platform::testing::Root()) / "back.pgm";
        WritePgm(frontPath_, front_);
        WritePgm(backPath_, back_);
    }

    emulator::VirtualScanner& ServeWithSheet(const emulator::SwitchOverrides& switches = {{"speed", "4"}},
                                             const char* board = "RM410") {
        auto& scanner = Serve(board, switches);
        scanner.InsertSheet(frontPath_, backPath_);
        return scanner;
    }

    // Resolution, mode, duplex and spool for one page.
    void Configure(const PageCase& c) {
        ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, c.dpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, c.dpi), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, c.mode), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_DUPLEX, c.duplex ? 1 : 0), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SPOOL_ENABLE, 1), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SPOOL_TO_MEMORY, c.toMemory ? 1 : 0), SI_OK);
        // The whole sensor width at this resolution.
        ASSERT_EQ(SetInt(SI_PROP_X_OFFSET, 0), SI_OK);
        ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
    }

    // The scan at a resolution the sheet can be reduced to as well.
    static int CompareFactor(int dpi) { return dpi % 75 == 0 ? dpi / 75 : dpi / 100; }
    static int CompareDpi(int dpi) { return dpi % 75 == 0 ? 75 : 100; }

    Match Compare(const ScannedSide& side, int mode, int dpi, const Gray& sheet) {
        const Gray scan = Reduce(ToGray(side, mode), CompareFactor(dpi));
        const Gray reference = Reduce(sheet, 600 / CompareDpi(dpi));
        return BestMatch(scan, reference, CompareDpi(dpi));
    }

    Gray front_, back_;
    std::filesystem::path frontPath_, backPath_;
};

class ScanPageTest : public ScanTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ScanPageTest, PageHasTheAnnouncedGeometryAndResemblesTheSheet) {
    const PageCase c = GetParam();
    // Under a CPU emulator one low-resolution gray page stands for the table.
    if (c.mode != 1 || c.duplex || c.dpi > 100) SKIP_PAGES_ON_SLOW_HOST();
    ServeWithSheet();
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    Configure(c);
    const int length = static_cast<int>(4.0 * c.dpi);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, length), SI_OK);
    const int width = Int(SI_PROP_SCAN_WIDTH);
    const int bytes = Int(SI_PROP_WIDTH_IN_BYTES);
    EXPECT_EQ(width, static_cast<int>(8.64 * c.dpi + 0.5));
    EXPECT_EQ(bytes, c.mode == 2 ? 3 * width : c.mode == 1 ? width : (width + 7) / 8);

    const ScannedPage page = ScanPage(c.duplex);
    ASSERT_EQ(page.start, SI_OK);
    EXPECT_EQ(page.end, SI_OK);
    EXPECT_EQ(page.front.endResult, SI_END_OF_PAGE);
    EXPECT_EQ(page.front.width, width);
    EXPECT_EQ(page.front.bytesPerLine, bytes);
    EXPECT_EQ(page.front.lines, length);

    const double bound = c.mode == 0 ? 0.3 : 0.8;  // line art of smooth shading keeps only blobs
    const Match front = Compare(page.front, c.mode, c.dpi, front_);
    EXPECT_GT(front.correlation, bound) << "at " << front.dx << "," << front.dy;
    if (c.duplex) {
        EXPECT_EQ(page.back.endResult, SI_END_OF_PAGE);
        EXPECT_EQ(page.back.lines, length);
        const Match back = Compare(page.back, c.mode, c.dpi, back_);
        EXPECT_GT(back.correlation, bound) << "at " << back.dx << "," << back.dy;
        // The back is right-reading and starts where the front does: the
        // sensor lag is taken out.
        Gray mirrored = back_;
        for (int y = 0; y < mirrored.height; ++y) {
            std::reverse(mirrored.pixels.begin() + static_cast<ptrdiff_t>(y) * mirrored.width,
                         mirrored.pixels.begin() + static_cast<ptrdiff_t>(y + 1) * mirrored.width);
        }
        const Match wrong = Compare(page.back, c.mode, c.dpi, mirrored);
        EXPECT_LT(wrong.correlation, back.correlation - 0.1);
        EXPECT_NEAR(back.dy, front.dy, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, ScanPageTest,
                         ::testing::Values(PageCase{1, 100, false, true}, PageCase{1, 300, true, false},
                                           PageCase{2, 150, true, true}, PageCase{2, 600, true, false},
                                           PageCase{0, 200, false, false}, PageCase{0, 75, true, true},
                                           PageCase{1, 600, false, true}),
                         CaseName);

TEST_F(ScanTest, NarrowModelScansBothSidesOfItsWidth) {
    SKIP_PAGES_ON_SLOW_HOST();
    ServeWithSheet({{"speed", "4"}}, "RM310-GL841");
    ASSERT_EQ(SI_OpenInterface("RM310__"), SI_OK);
    const PageCase c{1, 300, true, true};
    Configure(c);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 4 * c.dpi), SI_OK);
    EXPECT_EQ(Int(SI_PROP_SCAN_WIDTH), 1248);  // 4.16 inches of sensor
    const ScannedPage page = ScanPage(true);
    ASSERT_EQ(page.start, SI_OK);
    EXPECT_EQ(page.front.endResult, SI_END_OF_PAGE);
    EXPECT_EQ(page.back.endResult, SI_END_OF_PAGE);
    EXPECT_EQ(page.front.lines, 4 * c.dpi);
    EXPECT_GT(Compare(page.front, c.mode, c.dpi, front_).correlation, 0.8);
    EXPECT_GT(Compare(page.back, c.mode, c.dpi, back_).correlation, 0.8);
}

class PaperEndTest : public ScanTest, public ::testing::WithParamInterface<int> {};

TEST_P(PaperEndTest, DetectionEndsThePageAtTheTrailingEdgePlusTheExtraLength) {
    SKIP_PAGES_ON_SLOW_HOST();
    const int extra = GetParam();  // hundredths of an inch
    // Real time at the device's own speed: the paper sensor is polled as the
    // lines arrive.
    ServeWithSheet({});
    ASSERT_EQ(SI_OpenInterface("RM410__"), SI_OK);
    const int dpi = 150;
    Configure({1, dpi, true, true});
    ASSERT_EQ(SetInt(SI_PROP_EOP_DETECT, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_EOP_EXTRA_LENGTH, extra), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 10 * dpi), SI_OK);

    const ScannedPage page = ScanPage(true, 16);
    ASSERT_EQ(page.start, SI_OK);
    ASSERT_EQ(page.front.endResult, SI_END_OF_PAGE);
    const Gray front = ToGray(page.front, 1);
    const int x0 = front.width / 2 - dpi, x1 = front.width / 2 + dpi;
    // Half-way between the backing seen first and the white band along the edge.
    const int probe = LastLineAbove(front, 0.0, x0, x1);
    double backing = 0, white = 0;
    for (int y = 0; y <= probe; ++y) {
        double sum = 0;
        for (int x = x0; x < x1; ++x) sum += front.At(x, y);
        if (y == 0) backing = sum / (x1 - x0);
        white = std::max(white, sum / (x1 - x0));
    }
    const int leading = FirstLineAbove(front, (backing + white) / 2, x0, x1);
    ASSERT_GE(leading, 0);
    // The page ends the extra length past the trailing edge, within a millimetre.
    const double expected = leading + (kSheetLength + extra / 100.0) * dpi;
    EXPECT_NEAR(page.front.lines, expected, dpi / 25.4) << "leading edge at " << leading << ", backing " << backing << ", white " << white;
    EXPECT_GT(Int(SI_PROP_EOP_LENGTH), 0) << Int(SI_PROP_EOP_LENGTH);
    EXPECT_EQ(page.back.endResult, SI_END_OF_PAGE);
    EXPECT_NEAR(page.back.lines, page.front.lines, 2);
}

INSTANTIATE_TEST_SUITE_P(Extras, PaperEndTest, ::testing::Values(0, 50));

}  // namespace
