// Reading .bmp files: every field is checked, and an unusable file is no image.
#include "BitmapFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A file with an info header: `bits` deep, `width` x `height` (negative:
// top-down), rows numbered by their first byte.
std::vector<uint8_t> InfoFile(uint16_t bits, int32_t width, int32_t height, uint32_t ppm = 2952)
{
    const uint32_t colours = bits <= 8 ? 1u << bits : 0;
    const uint32_t offset = 14 + 40 + 4 * colours;
    const uint32_t rowSize = (uint32_t(width) * bits + 31) / 32 * 4;
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    std::vector<uint8_t> b(offset + rowSize * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, bits);
    Put32(b, 38, ppm);
    Put32(b, 42, ppm);
    for (uint32_t i = 0; i < colours; ++i) Put32(b, 54 + 4 * i, i * 0x010101u);
    for (uint32_t r = 0; r < rows; ++r) b[offset + r * rowSize] = static_cast<uint8_t>(r + 1);
    return b;
}

std::vector<uint8_t> Pixels(const LoadedBitmap& bmp)
{
    const auto* p = static_cast<const uint8_t*>(GlobalLock(bmp.Pixels()));
    std::vector<uint8_t> out(p, p + bmp.PixelBytes());
    GlobalUnlock(bmp.Pixels());
    return out;
}

TEST(BitmapFile, BottomUpAndTopDownLoadTheSame)
{
    const LoadedBitmap up = ParseBitmapBytes(InfoFile(8, 4, 3));
    const LoadedBitmap down = ParseBitmapBytes(InfoFile(8, 4, -3));
    ASSERT_EQ(up.Status(), kBitmapOk);
    ASSERT_EQ(down.Status(), kBitmapOk);
    EXPECT_EQ(up.Height(), 3);
    EXPECT_EQ(down.Height(), 3);
    const std::vector<uint8_t> a = Pixels(up);
    const std::vector<uint8_t> b = Pixels(down);
    ASSERT_EQ(a.size(), 12u);
    // Held bottom up: the top-down file's first row is its top, now last.
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[8], 1);
}

TEST(BitmapFile, ResolutionRoundsToTheNearest)
{
    EXPECT_EQ(ParseBitmapBytes(InfoFile(24, 2, 2, 2952)).Resolution(), 75);
    EXPECT_EQ(ParseBitmapBytes(InfoFile(24, 2, 2, 11811)).Resolution(), 300);
    EXPECT_EQ(ParseBitmapBytes(InfoFile(24, 2, 2, 0)).Resolution(), 0);
}

TEST(BitmapFile, CoreHeaderBecomesAnInfoHeader)
{
    // 12-byte header, 1 bit, two 3-byte palette entries.
    std::vector<uint8_t> b(14 + 12 + 6 + 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, 14 + 12 + 6);
    Put32(b, 14, 12);
    Put16(b, 18, 5);
    Put16(b, 20, 1);
    Put16(b, 22, 1);
    Put16(b, 24, 1);
    b[26] = 0x10;  // entry 0: blue 0x10, green 0x20, red 0x30
    b[27] = 0x20;
    b[28] = 0x30;
    b[29] = 0xFF;
    b[30] = 0xFF;
    b[31] = 0xFF;
    const LoadedBitmap bmp = ParseBitmapBytes(b);
    ASSERT_EQ(bmp.Status(), kBitmapOk);
    const auto* h = static_cast<const uint8_t*>(GlobalLock(bmp.Header()));
    uint32_t size = 0;
    std::memcpy(&size, h, 4);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(h[4], 5);
    EXPECT_EQ(h[14], 1);
    EXPECT_EQ(h[40], 0x10);
    EXPECT_EQ(h[41], 0x20);
    EXPECT_EQ(h[42], 0x30);
    EXPECT_EQ(h[43], 0);
    EXPECT_EQ(h[44], 0xFF);
    EXPECT_EQ(h[47], 0);
    GlobalUnlock(bmp.Header());
}

// Files that must not load, each with the status it gives.
TEST(BitmapFile, UnusableFilesAreNoImage)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int status;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, kBitmapBadFormat});
    auto notBm = InfoFile(8, 2, 2);
    notBm[0] = 'X';
    cases.push_back({"wrong type", notBm, kBitmapBadFormat});
    auto lowOffset = InfoFile(8, 2, 2);
    Put32(lowOffset, 10, 20);
    cases.push_back({"offset below the headers", lowOffset, kBitmapBadFormat});
    auto badHeader = InfoFile(8, 2, 2);
    Put32(badHeader, 14, 108);
    cases.push_back({"unknown header size", badHeader, kBitmapBadFormat});
    auto compressed = InfoFile(8, 2, 2);
    Put32(compressed, 30, 1);
    cases.push_back({"compressed", compressed, kBitmapCompressed});
    cases.push_back({"16 bits", InfoFile(16, 2, 2), kBitmapBadDepth});
    auto zeroWidth = InfoFile(8, 2, 2);
    Put32(zeroWidth, 18, 0);
    cases.push_back({"zero width", zeroWidth, kBitmapBadFormat});
    auto negativeWidth = InfoFile(8, 2, 2);
    Put32(negativeWidth, 18, 0xFFFFFFF0u);
    cases.push_back({"negative width", negativeWidth, kBitmapBadFormat});
    auto huge = InfoFile(24, 2, 2);
    Put32(huge, 18, 0x7FFFFFFF);
    Put32(huge, 22, 0x7FFFFFFF);
    cases.push_back({"huge", huge, kBitmapNoMemory});
    auto tooTall = InfoFile(8, 4, 2);
    Put32(tooTall, 22, 1000);
    cases.push_back({"taller than the file", tooTall, kBitmapBadFormat});
    auto minHeight = InfoFile(8, 2, 2);
    Put32(minHeight, 22, 0x80000000u);
    cases.push_back({"most negative height", minHeight, kBitmapBadFormat});
    for (const Case& c : cases) {
        const LoadedBitmap bmp = ParseBitmapBytes(c.bytes);
        EXPECT_EQ(bmp.Status(), c.status) << c.what;
        EXPECT_EQ(bmp.Pixels(), nullptr) << c.what;
    }
}

TEST(BitmapFile, OffsetBeyondTheHeaderBlockAndShortFilesAreSafe)
{
    // A gap after the palette: the offset lies past the 1064-byte block.
    auto gap = InfoFile(8, 2, 2);
    const uint32_t offset = 14 + 2000;
    std::vector<uint8_t> b(offset + 8, 0);
    std::memcpy(b.data(), gap.data(), 14 + 40 + 1024);
    Put32(b, 10, offset);
    b[offset] = 7;
    const LoadedBitmap bmp = ParseBitmapBytes(b);
    ASSERT_EQ(bmp.Status(), kBitmapOk);
    EXPECT_EQ(Pixels(bmp)[0], 7);

    // The last row cut short: what is there, the rest blank; never more than the image.
    auto cut = InfoFile(8, 4, 4);
    cut.resize(cut.size() - 3);
    cut.insert(cut.end(), 100, 0xAB);  // trailing bytes past the image are ignored
    const LoadedBitmap shortFile = ParseBitmapBytes(cut);
    ASSERT_EQ(shortFile.Status(), kBitmapOk);
    EXPECT_EQ(shortFile.PixelBytes(), 16u);
    // More than a row missing: no image.
    auto cutMore = InfoFile(8, 4, 4);
    cutMore.resize(cutMore.size() - 5);
    EXPECT_EQ(ParseBitmapBytes(cutMore).Status(), kBitmapBadFormat);
}

TEST(BitmapFile, MissingFile)
{
    EXPECT_EQ(LoadBitmapFile("C:\\no\\such.bmp").Status(), kBitmapNoFile);
}

}  // namespace
