// Where the sheet lands on the page, as a front end gets it with paper-end
// detection on: the leading edge at the board's own distance from the paper
// sensor to the scan line in every mode and resolution (the scan's motor
// ramp must not push it down at the faster speeds), the trailing edge where
// the sheet ends, within a millimetre each, and the colour channels where
// the sequential exposure puts them. One table over the boards, modes and a few
// resolutions, at the device's own speed (the paper sensor is polled as the
// lines arrive).
#include "../sisupport/SIClient.h"
#include "ScanSupport.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace siclient;
using namespace scantest;

constexpr double kSheetWidth = 4.0;
constexpr double kSheetLength = 2.5;
constexpr double kMillimetre = 1.0 / 25.4;
// Rows of the sheet (600 dpi): white, then a dark band, then white to the end.
// The edge into the band shows the sheet's length is kept down the page.
constexpr int kDarkFrom = 600;
constexpr int kDarkTo = 900;
constexpr int kGradeRows = 60;
constexpr uint8_t kPaper = 180;  // below the uncalibrated white's clipping
constexpr uint8_t kDark = 20;

struct GeometryCase {
    const char* board;
    const char* model;
    double sensorToLine;  // inches, the board's entry sensor to its front scan line
    int mode;             // 0 line art, 1 gray, 2 colour
    int dpi;
    bool duplex;
    // The trailing edge is placed by the host's polls of the paper sensor on
    // the real clock, so a starved host places it late: a few rows check it
    // (one per controller beside the RM410 paper-end test), not every row.
    bool trailing = false;
};

std::string CaseName(const ::testing::TestParamInfo<GeometryCase>& info) {
    std::string board = info.param.board;
    std::erase(board, '-');
    static const char* const kModes[] = {"LineArt", "Gray", "Colour"};
    return board + kModes[info.param.mode] + std::to_string(info.param.dpi) +
           (info.param.duplex ? "Duplex" : "Simplex");
}

Gray BandedSheet() {
    Gray g;
    g.width = static_cast<int>(kSheetWidth * 600);
    g.height = static_cast<int>(kSheetLength * 600);
    g.pixels.assign(static_cast<size_t>(g.width) * g.height, kPaper);
    for (int y = kDarkFrom; y < kDarkTo; ++y) {
        // A graded edge into the band, then the band's level.
        const int level = y < kDarkFrom + kGradeRows ? kPaper - (kPaper - kDark) * (y - kDarkFrom) / kGradeRows : kDark;
        std::fill_n(g.pixels.begin() + static_cast<ptrdiff_t>(y) * g.width, g.width, static_cast<uint8_t>(level));
    }
    return g;
}

// Mean of one channel over the middle of a row (line art as 0 and 255).
double RowMean(const ScannedSide& side, int mode, int channel, int y) {
    const int channels = mode == 2 ? 3 : 1;
    const int pixels = side.width;
    const int x0 = pixels / 2 - pixels / 8, x1 = pixels / 2 + pixels / 8;
    const uint8_t* row = side.data.data() + static_cast<size_t>(y) * side.bytesPerLine;
    double sum = 0;
    for (int x = x0; x < x1; ++x) {
        sum += mode == 0 ? (((row[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0) : row[x * channels + channel];
    }
    return sum / (x1 - x0);
}

// A level of the sheet as a calibrated scan gives it under the default tone
// curve (gamma 1.8): reflectance 0.9 of white at 247, the dark target 0.8.
double CalibratedLevel(uint8_t sample) {
    const double linear = 247.0 * sample / 255.0 + 0.8;
    return 255.0 * std::pow(linear / 255.0, 1.0 / 1.8);
}

// Where the row means first cross `level` going the given way after row
// `from`, interpolated between rows; -1 when they never do.
double Crossing(const std::vector<double>& rows, double level, bool rising, int from) {
    for (size_t y = static_cast<size_t>(std::max(from, 0)) + 1; y < rows.size(); ++y) {
        const double a = rows[y - 1], b = rows[y];
        if (rising ? (a < level && b >= level) : (a > level && b <= level)) {
            return static_cast<double>(y - 1) + (level - a) / (b - a);
        }
    }
    return -1;
}

class PageGeometryTest : public DeviceTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(PageGeometryTest, TheSheetLandsAtTheSensorToLineDistanceAndEndsWithIt) {
    SKIP_PAGES_ON_SLOW_HOST();
    const GeometryCase& c = GetParam();
    const auto sheet = std::filesystem::path(platform::testing::Root()) / "banded.pgm";
    WritePgm(sheet, BandedSheet());
    auto& scanner = Serve(c.board);
    scanner.InsertSheet(sheet);
    ASSERT_EQ(SI_OpenInterface(c.model), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, c.mode), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_DUPLEX, c.duplex ? 1 : 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_OFFSET, 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 5 * c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_EOP_DETECT, 1), SI_OK);

    const ScannedPage page = ScanPage(c.duplex, 16);
    ASSERT_EQ(page.start, SI_OK);
    ASSERT_EQ(page.front.endResult, SI_END_OF_PAGE);
    const int channels = c.mode == 2 ? 3 : 1;  // line art is read as one
    const double tolerance = c.dpi * kMillimetre;

    std::vector<std::vector<double>> rows(static_cast<size_t>(channels));
    std::vector<double> mean(static_cast<size_t>(page.front.lines), 0.0);
    for (int ch = 0; ch < channels; ++ch) {
        for (int y = 0; y < page.front.lines; ++y) {
            rows[static_cast<size_t>(ch)].push_back(RowMean(page.front, c.mode, ch, y));
            mean[static_cast<size_t>(y)] += rows[static_cast<size_t>(ch)].back() / channels;
        }
    }
    // Uncalibrated, at the front end's start-up values, the page is already
    // legible: the paper and the band near where a calibrated scan puts them;
    // in line art the paper white and the band black (the backing, a light
    // gray, is white there too, so its edges are the other modes' to show).
    const double paper = mean[static_cast<size_t>(c.sensorToLine * c.dpi + 0.2 * c.dpi)];
    const double band = mean[static_cast<size_t>(c.sensorToLine * c.dpi + (kDarkTo - 60) / 600.0 * c.dpi)];
    if (c.mode == 0) {
        EXPECT_EQ(paper, 255.0);
        EXPECT_EQ(band, 0.0);
        EXPECT_EQ(SI_EndScan(), SI_OK);
        return;
    }
    EXPECT_NEAR(paper, CalibratedLevel(kPaper), 0.10 * 255) << "paper";
    EXPECT_NEAR(band, CalibratedLevel(kDark), 0.15 * 255) << "dark band";
    // Backing above the sheet, paper below its leading edge.
    const double backing = mean.front();
    ASSERT_GT(paper, backing + 20) << "backing " << backing;
    const double leading = Crossing(mean, (backing + paper) / 2, true, 0);
    EXPECT_NEAR(leading, c.sensorToLine * c.dpi, tolerance) << "leading edge";
    // A simplex page ends with the sheet (a duplex one runs on for its back
    // side, which the back line sees later), where the rows check it.
    if (c.trailing) {
        EXPECT_NEAR(page.front.lines, (c.sensorToLine + kSheetLength) * c.dpi, tolerance) << "trailing edge";
    }

    // The graded edge into the dark band, a known distance down the sheet,
    // where it lies; in colour per channel. The planes of a line are exposed
    // one after another while the sheet moves, the last (red) one furthest
    // down the sheet: green and blue cross the edge after red, green between
    // red and blue, and within the line.
    std::vector<double> edges;
    for (int ch = 0; ch < channels; ++ch) {
        const std::vector<double>& r = rows[static_cast<size_t>(ch)];
        const double high = r[static_cast<size_t>(leading + 0.5 * c.dpi)];
        const double low = *std::min_element(r.begin(), r.end());
        edges.push_back(Crossing(r, (high + low) / 2, false, static_cast<int>(leading)));
    }
    const double grade = kGradeRows / 2.0 / 600.0 * c.dpi;
    if (c.mode != 0) {  // line art turns at its threshold, not the grade's middle
        EXPECT_NEAR(edges[0] - leading, kDarkFrom / 600.0 * c.dpi + grade, tolerance) << "graded edge";
    }
    if (channels == 3) {
        const double green = edges[1] - edges[0], blue = edges[2] - edges[0];
        EXPECT_GE(green, -0.05) << "green before red";
        EXPECT_LE(green, blue + 0.05) << "green after blue";
        EXPECT_LE(blue, 0.85) << "blue more than 0.85 of a line after red";
        EXPECT_GE(blue, 0.4) << "blue with red";
    }
    EXPECT_EQ(SI_EndScan(), SI_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, PageGeometryTest,
    ::testing::Values(GeometryCase{"RM410", "RM410__", 0.58, 1, 150, false},
                      GeometryCase{"RM410", "RM410__", 0.58, 2, 150, false},
                      GeometryCase{"RM410", "RM410__", 0.58, 1, 300, true},
                      GeometryCase{"RM410", "RM410__", 0.58, 2, 100, true},
                      GeometryCase{"RM410", "RM410__", 0.58, 2, 300, false},
                      GeometryCase{"RM1100", "RM1100__", 0.58, 1, 75, false},
                      GeometryCase{"RM310-GL841", "RM310__", 0.59, 1, 150, false, true},
                      GeometryCase{"RM310-GL841", "RM310__", 0.59, 2, 200, true},
                      GeometryCase{"RM310-GL125", "RM310__", 0.59, 1, 300, false},
                      GeometryCase{"RM310-GL125", "RM310__", 0.59, 2, 300, false},
                      GeometryCase{"RM460", "RM460__", 0.80, 1, 300, false, true},
                      GeometryCase{"RM460", "RM460__", 0.80, 1, 300, true},
                      GeometryCase{"RM460", "RM460__", 0.80, 2, 100, false},
                      GeometryCase{"RM410", "RM410__", 0.58, 0, 200, false},
                      GeometryCase{"RM310-GL125", "RM310__", 0.59, 0, 600, false}),
    CaseName);

}  // namespace
