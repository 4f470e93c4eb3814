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
