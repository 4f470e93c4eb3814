// Whole pages through the SI functions on the GL125
// boards: RM310 on product 00F2 and RM460 (300-dpi sensor, 600 dpi through
// the scaler). The page has the announced geometry and shows the sheet's
// dark and light halves where they are; no protocol violations.
#include "../sisupport/SIClient.h"

#include <SIPropertyIds.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/testing.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace siclient;

struct PageCase {
    const char* board;
    const char* model;
    int mode;  // 1 gray, 2 colour
    int dpi;
    bool duplex;
};

std::string CaseName(const ::testing::TestParamInfo<PageCase>& info) {
    return std::string(info.param.model).substr(0, 5) + (info.param.mode == 2 ? "Colour" : "Gray") +
           std::to_string(info.param.dpi) + (info.param.duplex ? "Duplex" : "Simplex");
}

// A 600-dpi sheet: the left half dark, the right half light.
std::filesystem::path WriteSheet(const char* name) {
    const int width = 4 * 600;
    const int height = 3 * 600;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<size_t>(y) * width + x] = x < width / 2 ? 40 : 220;
        }
    }
    const auto path = std::filesystem::path(platform::testing::Root()) / name;
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    return path;
}

struct Side {
    int lines = 0;
    std::vector<uint8_t> data;
    SIResult end = 0;
};

Side ReadSide(int side, int bytesPerLine) {
    Side s;
    std::vector<uint8_t> buffer(static_cast<size_t>(bytesPerLine) * 32);
    for (int guard = 0; guard < 100000; ++guard) {
        int got = 0;
        const SIResult r = SI_ReadImageData(buffer.data(), 32, static_cast<uint32_t>(side), &got);
        if (r == SI_OK || r == SI_END_OF_PAGE) {
            s.data.insert(s.data.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(got) * bytesPerLine);
            s.lines += got;
        }
        if (r != SI_OK) {
            s.end = r;
            break;
        }
    }
    return s;
}

// The column means of the middle rows, smoothed over a few columns so that
// noise does not decide.
std::vector<double> ColumnProfile(const Side& side, int width, int bytesPerLine, int mode) {
    std::vector<double> columns(static_cast<size_t>(width), 0.0);
    const int first = side.lines / 3;
    const int last = 2 * side.lines / 3;
    for (int y = first; y < last; ++y) {
        const uint8_t* line = side.data.data() + static_cast<size_t>(y) * bytesPerLine;
        for (int x = 0; x < width; ++x) {
            columns[static_cast<size_t>(x)] +=
                mode == 2 ? (line[3 * x] + line[3 * x + 1] + line[3 * x + 2]) / 3.0 : line[x];
        }
    }
    const int k = 4;
    std::vector<double> smooth;
    for (int x = k; x + k < width; ++x) {
        double sum = 0;
        for (int i = -k; i <= k; ++i) {
            sum += columns[static_cast<size_t>(x + i)];
        }
        smooth.push_back(sum / (2 * k + 1) / std::max(last - first, 1));
    }
    return smooth;
}

// The sheet's two halves, each two inches wide: the darkest and the lightest
// levels are well apart, and each spans about two inches of columns.
void ExpectTheSheetsHalves(const Side& side, int width, int bytesPerLine, int mode, int dpi) {
    const std::vector<double> profile = ColumnProfile(side, width, bytesPerLine, mode);
    ASSERT_FALSE(profile.empty());
    const auto [lowest, highest] = std::minmax_element(profile.begin(), profile.end());
    const double lo = *lowest, hi = *highest;
    // Uncalibrated the dark half reads lifted, but well apart from the light one.
    EXPECT_GT(hi - lo, 60.0) << "dark " << lo << ", light " << hi;
    const auto dark = std::count_if(profile.begin(), profile.end(), [&](double v) { return v < lo + 15; });
    const auto light = std::count_if(profile.begin(), profile.end(), [&](double v) { return v > hi - 15; });
    EXPECT_NEAR(static_cast<double>(dark), 2.0 * dpi, 0.15 * 2 * dpi);
    EXPECT_NEAR(static_cast<double>(light), 2.0 * dpi, 0.15 * 2 * dpi);
}

class GL125ModelScanTest : public DeviceTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(GL125ModelScanTest, APageHasItsGeometryAndShowsTheSheet) {
    const PageCase c = GetParam();
    auto& scanner = Serve(c.board, {{"speed", "4"}});
    scanner.InsertSheet(WriteSheet("front.pgm"), WriteSheet("back.pgm"));
    ASSERT_EQ(SI_OpenInterface(c.model), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, c.mode), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_DUPLEX, c.duplex ? 1 : 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SPOOL_ENABLE, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SPOOL_TO_MEMORY, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_OFFSET, 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
    const int length = 4 * c.dpi;
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, length), SI_OK);
    const int width = Int(SI_PROP_SCAN_WIDTH);
    const int bytes = Int(SI_PROP_WIDTH_IN_BYTES);
    ASSERT_GT(width, 0);
    EXPECT_EQ(bytes, c.mode == 2 ? 3 * width : width);

    ASSERT_EQ(SI_StartScan(), SI_OK);
    const Side front = ReadSide(0, bytes);
    Side back;
    if (c.duplex && front.end == SI_END_OF_PAGE) {
        back = ReadSide(1, bytes);
    }
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(front.end, SI_END_OF_PAGE);
    EXPECT_EQ(front.lines, length);
    ExpectTheSheetsHalves(front, width, bytes, c.mode, c.dpi);
    if (c.duplex) {
        EXPECT_EQ(back.end, SI_END_OF_PAGE);
        EXPECT_EQ(back.lines, length);
        ExpectTheSheetsHalves(back, width, bytes, c.mode, c.dpi);
    }
    EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
}

INSTANTIATE_TEST_SUITE_P(Pages, GL125ModelScanTest,
                         ::testing::Values(PageCase{"RM310-GL125", "RM310__", 1, 300, false},
                                           PageCase{"RM310-GL125", "RM310__", 2, 150, true},
                                           PageCase{"RM460", "RM460__", 1, 300, true},
                                           PageCase{"RM460", "RM460__", 1, 600, false},
                                           PageCase{"RM460", "RM460__", 2, 200, false}),
                         CaseName);


class GL125PaperEndTest : public GL125ModelScanTest {};

// With paper-end detection the page ends at the trailing edge plus the
// extra length, also when that is past the lines the chip was programmed
// for: the reads end instead of waiting for lines that never come.
TEST_P(GL125PaperEndTest, ThePageEndsAfterTheTrailingEdge) {
    const PageCase c = GetParam();
    auto& scanner = Serve(c.board, {{"speed", "4"}});
    scanner.InsertSheet(WriteSheet("front.pgm"), WriteSheet("back.pgm"));
    ASSERT_EQ(SI_OpenInterface(c.model), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_Y_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_RESOLUTION, c.dpi), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_COLOR_MODE, c.mode), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_DUPLEX, c.duplex ? 1 : 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SPOOL_ENABLE, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SPOOL_TO_MEMORY, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_X_OFFSET, 0), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_EOP_DETECT, 1), SI_OK);
    ASSERT_EQ(SetInt(SI_PROP_EOP_EXTRA_LENGTH, 50), SI_OK);
    // The programmed length is the sheet's own: the page made longer at the
    // paper end runs past it.
    ASSERT_EQ(SetInt(SI_PROP_SCAN_LENGTH, 3 * c.dpi), SI_OK);
    const int bytes = Int(SI_PROP_WIDTH_IN_BYTES);

    ASSERT_EQ(SI_StartScan(), SI_OK);
    const Side front = ReadSide(0, bytes);
    Side back;
    if (c.duplex && front.end == SI_END_OF_PAGE) {
        back = ReadSide(1, bytes);
    }
    EXPECT_EQ(SI_EndScan(), SI_OK);
    EXPECT_EQ(front.end, SI_END_OF_PAGE);
    EXPECT_GT(Int(SI_PROP_EOP_LENGTH), 3 * c.dpi + 2) << "the paper end lengthened the page";
    EXPECT_EQ(front.lines, 3 * c.dpi) << "every programmed line, then the end";
    if (c.duplex) {
        EXPECT_EQ(back.end, SI_END_OF_PAGE);
        EXPECT_NEAR(back.lines, front.lines, 2);
    }
    EXPECT_EQ(SI_FeedPaperOut(), SI_OK);
}

INSTANTIATE_TEST_SUITE_P(Boards, GL125PaperEndTest,
                         ::testing::Values(PageCase{"RM310-GL125", "RM310__", 1, 150, true},
                                           PageCase{"RM460", "RM460__", 1, 150, true}),
                         CaseName);

}  // namespace

namespace {

// The status probe's bulk header reaches the chip but is answered only after
// the port has given up on it: the probe fails (status 0), and the header it
// left armed is dropped, so the next probe's header replaces nothing (the
// fixture checks the protocol log).
class GL125StatusTest : public DeviceTest {};

TEST_F(GL125StatusTest, ProbeWhoseHeaderIsAnsweredTooLateLeavesNoHeaderArmed) {
    auto& scanner = Serve("RM310-GL125");
    ASSERT_EQ(SI_OpenInterface("RM310__"), SI_OK);
    scanner.InjectFault("delay:6000 ON vendor:0x82");
    int status = -1;
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_NOT_READY);
    scanner.ClearFaults();
    EXPECT_EQ(SI_GetScannerStatus(&status), SI_OK);
    EXPECT_EQ(status, SI_SCANNER_READY);
}

}  // namespace
