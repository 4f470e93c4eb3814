// Transfers by callback, file and stream against the virtual scanner,
// simplex and duplex, in every data type; a short page, a paper-empty start
// and a cancel after some bands.
#include "WiaFixture.h"

#include <platform/testing.h>

#include <wia.h>

namespace wiadevice {
namespace {

using platform::wia::Transfer;

struct Case {
    const char* name;
    DWORD major, minor;  // Windows version: WIA 1 below 6
    Transfer kind;
    LONG dataType;
    LONG resolution;
    bool duplex;
};

class WiaTransferTest : public WiaDeviceTest, public ::testing::WithParamInterface<Case> {};

LONG Stride(LONG width, LONG depth) { return (width * depth + 31) / 32 * 4; }

TEST_P(WiaTransferTest, PagesMatchTheSheetGeometry) {
    const Case c = GetParam();
    Open("RM310-GL841", c.major, c.minor);
    Scanner().InsertSheet(WriteSheet("front.pgm"), c.duplex ? WriteSheet("back.pgm") : std::filesystem::path{});
    BYTE* feeder = Service().Feeder();
    ASSERT_NE(feeder, nullptr);
    const LONG depth = c.dataType == WIA_DATA_COLOR ? 24 : c.dataType == WIA_DATA_GRAYSCALE ? 8 : 1;
    // A 2 x 2 inch frame, 0.5 inch in.
    const LONG extent = 2 * c.resolution;
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, c.resolution}, {WIA_IPA_DATATYPE, c.dataType}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, extent}, {WIA_IPS_YEXTENT, extent},
                                            {WIA_IPS_XPOS, c.resolution / 2}, {WIA_IPS_YPOS, c.resolution / 2}}),
              S_OK);
    LONG value = 0;
    EXPECT_EQ(Service().ReadLong(feeder, WIA_IPA_DEPTH, &value), S_OK);
    EXPECT_EQ(value, depth);
    if (c.duplex) {
        BYTE* handlingItem = platform::wia::DeviceService::WiaVersion() == 2 ? feeder : Service().Root();
        ASSERT_EQ(Service().WriteLongs(handlingItem, {{WIA_DPS_DOCUMENT_HANDLING_SELECT,
                                                       platform::wia::DeviceService::WiaVersion() == 2
                                                           ? DUPLEX | FRONT_FIRST
                                                           : FEEDER | DUPLEX}}),
                  S_OK);
    }
    const auto result = Service().Acquire(feeder, c.kind, Prefix("page"));
    ASSERT_EQ(result.result, S_OK);
    ASSERT_EQ(result.pages.size(), c.duplex ? 2u : 1u);
    for (const std::string& page : result.pages) {
        Bitmap bitmap;
        ASSERT_TRUE(ReadBitmap(page, &bitmap)) << page;
        EXPECT_EQ(bitmap.width, extent);
        EXPECT_EQ(bitmap.height, -extent) << page;
        EXPECT_EQ(bitmap.depth, depth);
        EXPECT_EQ(bitmap.fileSize, bitmap.bytes);
        EXPECT_EQ(bitmap.data.size(), static_cast<size_t>(Stride(extent, depth) * extent)) << page;
        EXPECT_EQ(bitmap.imageSize, bitmap.data.size());
    }
    for (LONG percent : result.progress) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
    }
    EXPECT_GT(result.bands, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WiaTransferTest,
    ::testing::Values(Case{"CallbackGray", 5, 1, Transfer::Callback, WIA_DATA_GRAYSCALE, 100, false},
                      Case{"CallbackColourDuplex", 5, 1, Transfer::Callback, WIA_DATA_COLOR, 150, true},
                      Case{"CallbackLineArt", 5, 1, Transfer::Callback, WIA_DATA_THRESHOLD, 200, false},
                      Case{"FileGray", 5, 1, Transfer::File, WIA_DATA_GRAYSCALE, 150, false},
                      Case{"FileDuplexColour", 5, 1, Transfer::File, WIA_DATA_COLOR, 100, true},
                      Case{"FileLineArt", 5, 1, Transfer::File, WIA_DATA_THRESHOLD, 300, false},
                      Case{"StreamColour", 6, 1, Transfer::Stream, WIA_DATA_COLOR, 100, false},
                      Case{"StreamGrayDuplex", 6, 1, Transfer::Stream, WIA_DATA_GRAYSCALE, 150, true},
                      Case{"StreamLineArt", 6, 1, Transfer::Stream, WIA_DATA_THRESHOLD, 100, false}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace wiadevice

namespace wiadevice {
namespace {

// A frame longer than the sheet: whatever the library delivers, each page's
// header tells the rows its data holds.
class WiaShortPageTest : public WiaDeviceTest, public ::testing::WithParamInterface<Case> {};

TEST_P(WiaShortPageTest, HeaderMatchesTheRowsDelivered) {
    const Case c = GetParam();
    Open("RM310-GL841", c.major, c.minor);
    Scanner().InsertSheet(WriteSheet("front.pgm", {4.0, 2.0}), c.duplex ? WriteSheet("back.pgm", {4.0, 2.0})
                                                                          : std::filesystem::path{});
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 100}, {WIA_IPA_DATATYPE, c.dataType}}), S_OK);
    platform::wia::PropertyInfo info;
    ASSERT_TRUE(Service().Info(feeder, WIA_IPS_YEXTENT, &info));
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, 300}, {WIA_IPS_YEXTENT, info.max}}), S_OK);
    if (c.duplex) {
        const bool wia2 = platform::wia::DeviceService::WiaVersion() == 2;
        ASSERT_EQ(Service().WriteLongs(wia2 ? feeder : Service().Root(),
                                       {{WIA_DPS_DOCUMENT_HANDLING_SELECT, wia2 ? DUPLEX : FEEDER | DUPLEX}}),
                  S_OK);
    }
    const auto result = Service().Acquire(feeder, c.kind, Prefix("short"));
    ASSERT_EQ(result.result, S_OK);
    ASSERT_EQ(result.pages.size(), c.duplex ? 2u : 1u);
    for (const std::string& page : result.pages) {
        Bitmap bitmap;
        ASSERT_TRUE(ReadBitmap(page, &bitmap)) << page;
        const LONG depth = bitmap.depth;
        ASSERT_LT(bitmap.height, 0);
        EXPECT_EQ(bitmap.data.size(), static_cast<size_t>(Stride(300, depth)) * static_cast<size_t>(-bitmap.height))
            << page;
        EXPECT_EQ(bitmap.fileSize, bitmap.bytes) << page;
        EXPECT_EQ(bitmap.imageSize, bitmap.data.size()) << page;
        EXPECT_LE(-bitmap.height, info.max);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, WiaShortPageTest,
                         ::testing::Values(Case{"Callback", 5, 1, Transfer::Callback, WIA_DATA_GRAYSCALE, 100, true},
                                           Case{"File", 5, 1, Transfer::File, WIA_DATA_COLOR, 100, true},
                                           Case{"Stream", 6, 1, Transfer::Stream, WIA_DATA_GRAYSCALE, 100, true}),
                         [](const auto& param) { return std::string(param.param.name); });

class WiaCancelTest : public WiaDeviceTest, public ::testing::WithParamInterface<Case> {};

TEST_P(WiaCancelTest, CancelAfterSomeBandsEndsTheTransfer) {
    const Case c = GetParam();
    Open("RM310-GL841", c.major, c.minor);
    Scanner().InsertSheet(WriteSheet("front.pgm", {4.0, 4.0}));
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 200}, {WIA_IPA_DATATYPE, WIA_DATA_COLOR}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, 600}, {WIA_IPS_YEXTENT, 600}}), S_OK);
    const auto result = Service().Acquire(feeder, c.kind, Prefix("cancel"), 2);
    EXPECT_EQ(result.result, S_FALSE);
    EXPECT_EQ(result.bands, 2);
    // The sheet went out: the next transfer finds the feeder empty.
    EXPECT_EQ(Service().Acquire(feeder, c.kind, Prefix("again")).result, WIA_ERROR_PAPER_EMPTY);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WiaCancelTest,
                         ::testing::Values(Case{"Callback", 5, 1, Transfer::Callback, WIA_DATA_COLOR, 200, false},
                                           Case{"File", 5, 1, Transfer::File, WIA_DATA_COLOR, 200, false},
                                           Case{"Stream", 6, 1, Transfer::Stream, WIA_DATA_COLOR, 200, false}),
                         [](const auto& param) { return std::string(param.param.name); });

// The gray page against the sheet: dark bars every half inch across.
TEST_F(WiaDeviceTest, GrayPageShowsTheSheetsBars) {
    Open("RM310-GL841", 5, 1);
    Scanner().InsertSheet(WriteSheet("front.pgm"));
    BYTE* feeder = Service().Feeder();
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XRES, 100}, {WIA_IPA_DATATYPE, WIA_DATA_GRAYSCALE}}), S_OK);
    ASSERT_EQ(Service().WriteLongs(feeder, {{WIA_IPS_XEXTENT, 300}, {WIA_IPS_YEXTENT, 200}, {WIA_IPS_YPOS, 50}}),
              S_OK);
    const auto result = Service().Acquire(feeder, Transfer::File, Prefix("gray"));
    ASSERT_EQ(result.result, S_OK);
    Bitmap bitmap;
    ASSERT_TRUE(ReadBitmap(result.pages.at(0), &bitmap));
    const LONG stride = Stride(300, 8);
    // Column means over the rows clear of the horizontal bars.
    std::vector<double> columns(300, 0.0);
    int rows = 0;
    for (int y = 20; y < 90; ++y, ++rows) {
        for (int x = 0; x < 300; ++x) columns[static_cast<size_t>(x)] += bitmap.data[static_cast<size_t>(y * stride + x)];
    }
    int dark = 0;
    int light = 0;
    for (double& c : columns) {
        c /= rows;
        dark += c < 190;
        light += c > 200;
    }
    // A fifth of the sheet's width is bar, the rest paper (and backing at
    // the edges when the sheet is narrower than the frame); uncalibrated,
    // the paper comes out a little below white.
    EXPECT_NEAR(dark, 60, 20) << [&] {
        std::string line;
        for (size_t x = 0; x < columns.size(); x += 5) line += std::to_string(static_cast<int>(columns[x])) + " ";
        return line;
    }();
    EXPECT_GT(light, 150) << [&] {
        std::string line;
        for (size_t x = 0; x < columns.size(); x += 5) line += std::to_string(static_cast<int>(columns[x])) + " ";
        return line;
    }();
    // The bars repeat every 50 pixels at 100 dpi.
    int transitions = 0;
    for (size_t x = 1; x < columns.size(); ++x) transitions += (columns[x] < 190) != (columns[x - 1] < 190);
    EXPECT_GE(transitions, 8);
}

}  // namespace
}  // namespace wiadevice
