// DIB and BMP layout of native and file transfers, and the row operations.
#include "DibLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

TEST(DibLayout, RowSizes)
{
    struct Case {
        uint32_t bits, width, size;
    };
    const Case cases[] = {{1, 1000, 128}, {24, 1001, 3004}, {8, 1, 4},  {8, 5, 8},  {1, 1, 4},
                          {1, 33, 8},     {24, 1, 4},       {4, 9, 8},  {16, 8, 0}, {24, 4, 12}};
    for (const Case& c : cases) {
        EXPECT_EQ(DibRowSize(c.bits, c.width), c.size) << c.bits << " bits, " << c.width << " pixels";
    }
    EXPECT_EQ(PelsPerMeter(300), 11811);
    EXPECT_EQ(PelsPerMeter(75), 2952);
}

// Every byte of the headers of small pages, as a reader of BMP files sees them.
TEST(DibLayout, FileHeadersByteExact)
{
    struct Case {
        uint32_t bits;
        uint32_t width, rows;
        uint32_t headerLength, rowSize, colours;
    };
    const Case cases[] = {{1, 10, 3, 62, 4, 2}, {8, 5, 2, 1078, 8, 256}, {24, 3, 2, 54, 12, 0}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> h = DibHeaders(c.bits, 200, c.width, c.rows, true);
        ASSERT_EQ(h.size(), c.headerLength);
        EXPECT_EQ(h[0], 'B');
        EXPECT_EQ(h[1], 'M');
        EXPECT_EQ(U32(h, 2), c.headerLength + c.rows * c.rowSize);
        EXPECT_EQ(U32(h, 6), 0u);
        EXPECT_EQ(U32(h, 10), c.headerLength);
        EXPECT_EQ(U32(h, 14), 40u);
        EXPECT_EQ(U32(h, 18), c.width);
        EXPECT_EQ(U32(h, 22), c.rows);
        EXPECT_EQ(U16(h, 26), 1);
        EXPECT_EQ(U16(h, 28), c.bits);
        EXPECT_EQ(U32(h, 30), 0u);
        EXPECT_EQ(U32(h, 34), c.rows * c.rowSize);
        EXPECT_EQ(U32(h, 38), 7874u);
        EXPECT_EQ(U32(h, 42), 7874u);
        EXPECT_EQ(U32(h, 46), c.colours);
        EXPECT_EQ(U32(h, 50), c.colours);
        for (uint32_t i = 0; i < c.colours; ++i) {
            const uint8_t level = c.bits == 1 ? static_cast<uint8_t>(i * 255) : static_cast<uint8_t>(i);
            EXPECT_EQ(U32(h, 54 + 4 * i), level | (level << 8) | (uint32_t(level) << 16)) << i;
        }
    }
}

TEST(DibLayout, NativeHeadersStartWithTheInfoHeader)
{
    const std::vector<uint8_t> h = DibHeaders(8, 300, 7, 4, false);
    ASSERT_EQ(h.size(), 40u + 1024u);
    EXPECT_EQ(U32(h, 0), 40u);
    EXPECT_EQ(U32(h, 4), 7u);
    EXPECT_EQ(U32(h, 8), 4u);
    EXPECT_EQ(U32(h, 20), 4u * 8u);
    EXPECT_EQ(U32(h, 24), 11811u);
    EXPECT_EQ(U32(h, 40 + 4 * 255), 0x00FFFFFFu);
}

TEST(DibLayout, RowOperations)
{
    // Three rows of 3 bytes padded to 4, in place.
    std::vector<uint8_t> rows{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE};
    PadRows(rows.data(), 3, 3);
    EXPECT_EQ(rows, (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}));
    FlipRows(rows.data(), 3, 4);
    EXPECT_EQ(rows, (std::vector<uint8_t>{7, 8, 9, 0, 4, 5, 6, 0, 1, 2, 3, 0}));
    SwapRedBlue(rows.data(), 3, 4);
    EXPECT_EQ(rows, (std::vector<uint8_t>{9, 8, 7, 0, 6, 5, 4, 0, 3, 2, 1, 0}));
    std::vector<uint8_t> aligned{1, 2, 3, 4};
    PadRows(aligned.data(), 4, 1);
    EXPECT_EQ(aligned, (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
