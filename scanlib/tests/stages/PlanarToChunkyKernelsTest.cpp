#include "engine/stages/PlanarToChunkyKernels.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct InterleaveCase {
    const char* name;
    std::vector<uint8_t> planar;
    size_t pixels;
    PlaneOrder order;
    std::vector<uint8_t> chunky;
};

class InterleaveTest : public ::testing::TestWithParam<InterleaveCase> {};

TEST_P(InterleaveTest, GivesPixelsOfThreeBytes)
{
    const InterleaveCase& c = GetParam();
    std::vector<uint8_t> out(c.chunky.size(), 0xEE);
    InterleavePlanes(c.planar, out, c.pixels, c.order);
    EXPECT_EQ(out, c.chunky);
}

// Planes P0 = a, P1 = b, P2 = c.
INSTANTIATE_TEST_SUITE_P(
    Cases, InterleaveTest,
    ::testing::Values(
        InterleaveCase{"TwoPixelsReversed", {0xA0, 0xA1, 0xB0, 0xB1, 0xC0, 0xC1}, 2, PlaneOrder::Reversed,
                       {0xC0, 0xB0, 0xA0, 0xC1, 0xB1, 0xA1}},
        InterleaveCase{"TwoPixelsInOrder", {0xA0, 0xA1, 0xB0, 0xB1, 0xC0, 0xC1}, 2, PlaneOrder::InOrder,
                       {0xA0, 0xB0, 0xC0, 0xA1, 0xB1, 0xC1}},
        InterleaveCase{"OnePixel", {1, 2, 3}, 1, PlaneOrder::Reversed, {3, 2, 1}},
        InterleaveCase{"OddWidth", {1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, PlaneOrder::InOrder, {1, 4, 7, 2, 5, 8, 3, 6, 9}},
        // More pixels asked than a plane holds: only the plane's pixels are written.
        InterleaveCase{"PixelsBeyondPlane", {1, 2, 3}, 5, PlaneOrder::InOrder, {1, 2, 3, 0xEE, 0xEE, 0xEE}}),
    CaseName());

}  // namespace

namespace {

TEST(PlanarToChunkyKernels, LongLinesKeepEveryPixel)
{
    for (size_t pixels = 1; pixels <= 100; ++pixels) {
        std::vector<uint8_t> planar(3 * pixels);
        for (size_t i = 0; i < planar.size(); ++i) {
            planar[i] = static_cast<uint8_t>(i * 7 + pixels);
        }
        std::vector<uint8_t> chunky(3 * pixels);
        InterleavePlanes(planar, chunky, pixels, PlaneOrder::Reversed);
        for (size_t x = 0; x < pixels; ++x) {
            ASSERT_EQ(chunky[3 * x], planar[2 * pixels + x]) << pixels;
            ASSERT_EQ(chunky[3 * x + 1], planar[pixels + x]) << pixels;
            ASSERT_EQ(chunky[3 * x + 2], planar[x]) << pixels;
        }
    }
}

}  // namespace
