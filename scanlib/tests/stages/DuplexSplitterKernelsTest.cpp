#include "engine/stages/DuplexSplitterKernels.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(BitReversalTable, ReversesEveryBit)
{
    EXPECT_EQ(kBitReversal[0x01], 0x80);
    EXPECT_EQ(kBitReversal[0x80], 0x01);
    EXPECT_EQ(kBitReversal[0xF0], 0x0F);
    EXPECT_EQ(kBitReversal[0xA6], 0x65);
    for (unsigned i = 0; i < 256; ++i) {
        EXPECT_EQ(kBitReversal[kBitReversal[i]], i);
    }
}

struct MirrorCase {
    const char* name;
    uint32_t bitsPerPixel;
    std::vector<uint8_t> in;
    size_t inPixels;
    std::vector<uint8_t> out;
};

class MirrorTest : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(MirrorTest, StartsAtTheLastInputPixel)
{
    const MirrorCase& c = GetParam();
    std::vector<uint8_t> out(c.out.size(), 0xEE);
    MirrorLine(c.in, c.inPixels, c.bitsPerPixel, out);
    EXPECT_EQ(out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MirrorTest,
    ::testing::Values(
        MirrorCase{"Gray10To4", 8, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10, {9, 8, 7, 6}},
        MirrorCase{"GrayOnePixel", 8, {42}, 1, {42}},
        MirrorCase{"GrayWhole", 8, {1, 2, 3}, 3, {3, 2, 1}},
        MirrorCase{"ColourKeepsByteOrder", 24, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, {7, 8, 9, 4, 5, 6}},
        MirrorCase{"ColourOnePixel", 24, {1, 2, 3}, 1, {1, 2, 3}},
        // 16 pixels: plain byte reversal of the reversed bytes.
        MirrorCase{"BitsWholeBytes", 1, {0x80, 0x03}, 16, {0xC0, 0x01}},
        // 12 pixels 1000 0000 0001: mirrored 1000 0000 0001, padded with 0.
        MirrorCase{"BitsPartialByte", 1, {0x80, 0x10}, 12, {0x80, 0x10}},
        // The last step reads the byte before the line as 0.
        MirrorCase{"BitsLastStepReadsZero", 1, {0xFF, 0xF0}, 12, {0xFF, 0xF0}},
        MirrorCase{"BitsOnePixel", 1, {0x80}, 1, {0x80}},
        // 3 pixels 101 then 0: mirrored 101 (only three pixels exist).
        MirrorCase{"BitsThreePixels", 1, {0xA0}, 3, {0xA0}},
        // 11 pixels 1100 0000 001, back side 4 pixels wide: 1000.
        MirrorCase{"BitsNarrowOutput", 1, {0xC0, 0x20}, 11, {0x80}}),
    CaseName());

TEST(MirrorLine1, NeverReadsBeforeTheLine)
{
    // The byte before the line is poisoned; the mirror must not pick it up.
    const std::vector<uint8_t> storage{0xFF, 0x00, 0x01};
    const std::span<const uint8_t> line(storage.data() + 1, 2);
    std::vector<uint8_t> out(2);
    MirrorLine1(line, 13, out);
    // 13 pixels 0000 0000 0000 0 (the set bit is beyond pixel 13).
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0x00}));
}

}  // namespace
