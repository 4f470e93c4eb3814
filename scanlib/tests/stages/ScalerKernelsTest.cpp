#include "engine/stages/ScalerKernels.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(BitDoublingTable, DoublesEveryBit)
{
    EXPECT_EQ(kBitDoubling[0x00], 0x0000);
    EXPECT_EQ(kBitDoubling[0x01], 0x0003);
    EXPECT_EQ(kBitDoubling[0x80], 0xC000);
    EXPECT_EQ(kBitDoubling[0xA5], 0xCC33);
    EXPECT_EQ(kBitDoubling[0xFF], 0xFFFF);
}

struct WidenCase {
    const char* name;
    uint32_t bitsPerPixel;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
};

class WidenTest : public ::testing::TestWithParam<WidenCase> {};

TEST_P(WidenTest, DoublesThePixels)
{
    const WidenCase& c = GetParam();
    std::vector<uint8_t> out(WidenedBytes(c.in.size()), 0xEE);
    WidenLine(c.in, c.bitsPerPixel, out);
    EXPECT_EQ(out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WidenTest,
    ::testing::Values(WidenCase{"Gray", 8, {10, 20, 30}, {10, 15, 20, 25, 30, 30}},
                      WidenCase{"GrayOnePixel", 8, {7}, {7, 7}},
                      WidenCase{"GrayRoundsDown", 8, {0, 255, 0}, {0, 127, 255, 127, 0, 0}},
                      WidenCase{"Colour", 24, {10, 20, 30, 20, 40, 61}, {10, 20, 30, 15, 30, 45, 20, 40, 61, 20, 40, 61}},
                      WidenCase{"ColourOnePixel", 24, {1, 2, 3}, {1, 2, 3, 1, 2, 3}},
                      WidenCase{"Bits", 1, {0x81, 0xA5}, {0xC0, 0x03, 0xCC, 0x33}},
                      WidenCase{"BitsOneByte", 1, {0x80}, {0xC0, 0x00}}),
    CaseName());

}  // namespace

namespace {

// Lines long enough for the blocked loop, checked against the pixel rule for
// every width up to a few blocks.
TEST(ScalerKernels, LongLinesFollowThePixelRule)
{
    for (size_t channels : {size_t{1}, size_t{3}}) {
        for (size_t pixels = 1; pixels <= 70; ++pixels) {
            std::vector<uint8_t> in(pixels * channels);
            for (size_t i = 0; i < in.size(); ++i) {
                in[i] = static_cast<uint8_t>(i * 37 + pixels);
            }
            std::vector<uint8_t> out(WidenedBytes(in.size()));
            WidenLine(in, channels == 1 ? 8 : 24, out);
            for (size_t x = 0; x < pixels; ++x) {
                const size_t next = std::min(x + 1, pixels - 1);
                for (size_t c = 0; c < channels; ++c) {
                    ASSERT_EQ(out[(2 * x) * channels + c], in[x * channels + c]) << pixels << " " << x;
                    ASSERT_EQ(out[(2 * x + 1) * channels + c],
                              (in[x * channels + c] + in[next * channels + c]) >> 1)
                        << pixels << " " << x;
                }
            }
        }
    }
}

}  // namespace
