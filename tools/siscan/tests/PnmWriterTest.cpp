#include "PnmWriter.h"

#include "PageImages.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::string PathInRoot(const std::string& name) { return (std::filesystem::path(platform::testing::Root()) / name).string(); }

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PnmWriter, LineBytesPerFormat)
{
    EXPECT_EQ(PnmLineBytes(PnmFormat::Bitmap, 1), 1u);
    EXPECT_EQ(PnmLineBytes(PnmFormat::Bitmap, 8), 1u);
    EXPECT_EQ(PnmLineBytes(PnmFormat::Bitmap, 9), 2u);
    EXPECT_EQ(PnmLineBytes(PnmFormat::Graymap, 9), 9u);
    EXPECT_EQ(PnmLineBytes(PnmFormat::Pixmap, 9), 27u);
}

TEST(PnmWriter, GraymapAndPixmapKeepTheSamples)
{
    const std::string gray = PathInRoot("gray.pgm");
    ASSERT_TRUE(WritePnm(gray, PnmFormat::Graymap, 3, 2, std::vector<uint8_t>{0, 1, 2, 253, 254, 255}));
    EXPECT_EQ(Contents(gray), std::string("P5\n3 2\n255\n\x00\x01\x02\xFD\xFE\xFF", 17));

    const std::string colour = PathInRoot("colour.ppm");
    const std::vector<uint8_t> samples{10, 20, 30, 40, 50, 60};
    ASSERT_TRUE(WritePnm(colour, PnmFormat::Pixmap, 2, 1, samples));
    const std::optional<siscan_test::Image> read = siscan_test::ReadPnm(colour);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->magic, "P6");
    EXPECT_EQ(read->pixels, samples);
}

// The library's line art has 1 for white, PBM 1 for black.
TEST(PnmWriter, BitmapIsInvertedWithSpareBitsClear)
{
    const std::string path = PathInRoot("art.pbm");
    // 10 pixels: white, black, then alternating; the spare bits of the input are 0.
    ASSERT_TRUE(WritePnm(path, PnmFormat::Bitmap, 10, 1, std::vector<uint8_t>{0b10101010, 0b10000000}));
    EXPECT_EQ(Contents(path), std::string("P4\n10 1\n\x55\x40", 10));
}

TEST(PnmWriter, RefusesShortDataAndUnwritablePaths)
{
    EXPECT_FALSE(WritePnm(PathInRoot("short.pgm"), PnmFormat::Graymap, 4, 2, std::vector<uint8_t>(7)));
    EXPECT_FALSE(WritePnm(PathInRoot("zero.pgm"), PnmFormat::Graymap, 0, 0, std::vector<uint8_t>{}));
    EXPECT_FALSE(WritePnm(PathInRoot("no/such/folder/x.pgm"), PnmFormat::Graymap, 1, 1, std::vector<uint8_t>{1}));
}

}  // namespace
