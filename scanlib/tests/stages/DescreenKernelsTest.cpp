#include "engine/stages/DescreenKernels.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct SumCase {
    const char* name;
    std::vector<uint8_t> line;
    size_t stride;
    std::vector<uint16_t> sums;
};

class HorizontalSumTest : public ::testing::TestWithParam<SumCase> {};

TEST_P(HorizontalSumTest, ReplicatesTheEdges)
{
    const SumCase& c = GetParam();
    std::vector<uint16_t> sums(c.line.size(), 0xEEEE);
    HorizontalSum(c.line, c.stride, sums);
    EXPECT_EQ(sums, c.sums);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HorizontalSumTest,
    ::testing::Values(SumCase{"Gray", {10, 20, 30, 40}, 1, {40, 60, 90, 110}},
                      SumCase{"GrayTwoPixels", {10, 20}, 1, {40, 50}},
                      SumCase{"GrayOnePixel", {7}, 1, {21}},
                      SumCase{"GrayOddWidth", {1, 2, 3, 4, 5}, 1, {4, 6, 9, 12, 14}},
                      SumCase{"Colour", {1, 2, 3, 4, 5, 6}, 3, {6, 9, 12, 9, 12, 15}},
                      SumCase{"ColourOnePixel", {1, 2, 3}, 3, {3, 6, 9}},
                      SumCase{"ColourThreePixels", {1, 1, 1, 2, 2, 2, 4, 4, 4}, 3, {4, 4, 4, 7, 7, 7, 10, 10, 10}},
                      SumCase{"Saturated", {255, 255, 255}, 1, {765, 765, 765}}),
    CaseName());

TEST(DescreenLine, LeavesAUniformAreaUnchanged)
{
    for (unsigned v : {0u, 1u, 77u, 254u, 255u}) {
        const std::vector<uint16_t> sums(4, static_cast<uint16_t>(3 * v));
        const std::vector<uint8_t> centre(4, static_cast<uint8_t>(v));
        std::vector<uint8_t> out(4);
        DescreenLine(sums, sums, sums, centre, out);
        EXPECT_EQ(out, centre) << v;
    }
}

TEST(DescreenLine, SpreadsABrightPixelOverItsNeighbours)
{
    const std::vector<uint8_t> centre{0, 110, 0};
    std::vector<uint16_t> middle(3);
    HorizontalSum(centre, 1, middle);
    const std::vector<uint16_t> blank(3, 0);
    std::vector<uint8_t> out(3);

    DescreenLine(blank, middle, blank, centre, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{10, 30, 10}));
    // The line above and below see it through their next or previous sums.
    const std::vector<uint8_t> zero(3, 0);
    DescreenLine(blank, blank, middle, zero, out);
    EXPECT_EQ(out, (std::vector<uint8_t>{10, 10, 10}));
}

}  // namespace

namespace {

std::vector<uint8_t> Noise(size_t size, unsigned seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

// Lines long enough for the blocked loops, checked pixel by pixel against the
// definition, for every width up to a few blocks and both strides.
TEST(DescreenKernels, LongLinesFollowThePixelRule)
{
    for (size_t stride : {size_t{1}, size_t{3}}) {
        for (size_t width = stride; width <= 3 * 40 + 7; width += stride) {
            const std::vector<uint8_t> line = Noise(width, static_cast<unsigned>(width));
            std::vector<uint16_t> sums(width);
            HorizontalSum(line, stride, sums);
            for (size_t x = 0; x < width; ++x) {
                const size_t left = x >= stride ? x - stride : x;
                const size_t right = x + stride < width ? x + stride : x;
                ASSERT_EQ(sums[x], line[left] + line[x] + line[right]) << width << " " << x;
            }
            const std::vector<uint8_t> above = Noise(width, 7);
            std::vector<uint16_t> aboveSums(width);
            HorizontalSum(above, stride, aboveSums);
            std::vector<uint8_t> out(width);
            DescreenLine(aboveSums, sums, aboveSums, line, out);
            for (size_t x = 0; x < width; ++x) {
                ASSERT_EQ(out[x], (2 * aboveSums[x] + sums[x] + 2 * line[x]) / 11) << width << " " << x;
            }
        }
    }
}

}  // namespace
