// GL125 layouts: padded widths, the planes of a line, the averaging divisors,
// and the shading table laid out as the chip reads it at every resolution of
// both sensors.
#include "chips/CISModule.h"
#include "chips/GL125.h"
#include "chips/GL125ImageLayout.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "GL125RecordingPort.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(GL125LayoutTest, PaddedWidthIsSixteenPixelsInLineArtElseEven) {
    EXPECT_EQ(GL125PaddedWidth(1001, 8), 1002);
    EXPECT_EQ(GL125PaddedWidth(1001, 1), 1008);
    EXPECT_EQ(GL125PaddedWidth(1008, 1), 1008);
    EXPECT_EQ(GL125PaddedWidth(1002, 24), 1002);
    EXPECT_EQ(GL125PaddedWidth(0, 8), 0);
    const GL125LineLayout colour = GL125LineLayout::For(1001, 24);
    EXPECT_EQ(colour.planes, 3u);
    EXPECT_EQ(colour.LineBytes(), 3003u);
    EXPECT_EQ(colour.PaddedLineBytes(), 3006u);
    const GL125LineLayout art = GL125LineLayout::For(1000, 1);
    EXPECT_EQ(art.LineBytes(), 125u);
    EXPECT_EQ(art.PaddedLineBytes(), 126u);
}

TEST(GL125LayoutTest, AveragingNeedsAnExactDivisorFromTheChipsList) {
    struct Case {
        int optical;
        int x;
        int divisor;  // 0: resampling
    };
    for (const Case c : {Case{600, 600, 1}, Case{600, 300, 2}, Case{600, 200, 3}, Case{600, 150, 4},
                         Case{600, 100, 6}, Case{600, 75, 8}, Case{600, 50, 12}, Case{600, 40, 15},
                         Case{600, 400, 0}, Case{600, 500, 0}, Case{600, 250, 0}, Case{600, 30, 0},
                         Case{300, 300, 1}, Case{300, 150, 2}, Case{300, 100, 3}, Case{300, 75, 4},
                         Case{300, 60, 5}, Case{300, 200, 0}, Case{300, 600, 0}, Case{300, 0, 0}}) {
        const auto d = GL125IntegerDivisor(c.optical, c.x);
        EXPECT_EQ(d.value_or(0), c.divisor) << c.optical << "/" << c.x;
    }
}

constexpr size_t Position(size_t slot) { return slot + 2 * (slot / 126); }

std::vector<uint32_t> PixelTable(size_t pixels) {
    std::vector<uint32_t> table(pixels + 3, 0);
    for (size_t p = 0; p < pixels; ++p) {
        table[p + 3] = static_cast<uint32_t>(((p * 7) & 0xFFFF) << 16 | (p & 0xFFFF));
    }
    return table;
}

TEST(GL125LayoutTest, ShadingSlotsMatchHowTheChipReadsThemAtEveryResolution) {
    const std::vector<uint32_t> table = PixelTable(5184);
    for (const int optical : {600, 300}) {
        for (const int x : {75, 100, 150, 200, 300, 400, 500, 600}) {
            SCOPED_TRACE(testing::Message() << optical << " dpi sensor at " << x << " dpi");
            const std::vector<uint32_t> built = BuildGL125ShadingTable(optical, x, table);
            ASSERT_EQ(built.size(), 5187u + 5187u / 126u * 2u + 3u);
            const auto divisor = GL125IntegerDivisor(optical, x);
            for (size_t p = 0; p < 5184; ++p) {
                if (divisor) {
                    const size_t f = static_cast<size_t>(*divisor);
                    const size_t first = p / f * f;
                    if (first + f > 5184) {
                        EXPECT_EQ(built[Position(p + 3)], 0u) << "incomplete group dropped";
                        continue;
                    }
                    uint32_t offsets = 0;
                    uint32_t gains = 0;
                    for (size_t i = first; i < first + f; ++i) {
                        offsets += table[i + 3] & 0xFFFF;
                        gains += table[i + 3] >> 16;
                    }
                    ASSERT_EQ(built[Position(p + 3)], (gains / f) << 16 | (offsets / f)) << "pixel " << p;
                } else {
                    ASSERT_EQ(built[Position(p + 2)], table[p + 3]) << "pixel " << p;
                }
            }
            for (size_t block = 0; block * 128 < built.size(); ++block) {
                for (size_t unused : {block * 128 + 126, block * 128 + 127}) {
                    if (unused < built.size()) {
                        EXPECT_EQ(built[unused], 0u) << "position " << unused;
                    }
                }
            }
            EXPECT_EQ(built[0], 0u);
            EXPECT_EQ(built[1], 0u);
        }
    }
}

TEST(GL125LayoutTest, AShadingAreaHoldsTheWholeWideLine) {
    EXPECT_GE(GL125MaxShadingPixels(), 5184u);
    EXPECT_LE(GL125BuiltShadingEntries(GL125MaxShadingPixels() + 3), kGL125ShadingAreaEntries);
    EXPECT_GT(GL125BuiltShadingEntries(GL125MaxShadingPixels() + 4), kGL125ShadingAreaEntries);
    EXPECT_TRUE(BuildGL125ShadingTable(600, 600, {}).empty());
}

// The scan's mode bit follows the same divisor test as the layout.
TEST(GL125LayoutTest, TheScanModeBitFollowsTheLayoutsDivisor) {
    for (const bool wide : {true, false}) {
        Gl125RecordingPort port;
        WM8199GL frontEnd;
        GL125 chip{&frontEnd, &port};
        CM218_02 module600;
        CM215_04_300 module300;
        FAN8200D_2 motor;
        const std::array<float, 3> rates{300.0f, 300.0f, 300.0f};
        ASSERT_TRUE(chip.Init());
        chip.SetCisModule(wide ? static_cast<CISModule*>(&module600) : &module300, 2, rates);
        chip.SetMotor(&motor);
        const int optical = wide ? 600 : 300;
        port.chip[0x101] = 0x10;
        for (const int x : {75, 100, 150, 200, 300, 400, 500, 600}) {
            chip.SetXResolution(x);
            chip.SetColorMode(1);
            chip.SetBitsPerPixel(8);
            chip.SetScanWidth(x * 8);
            chip.SetScanLength(10);
            ASSERT_TRUE(chip.SetupScan());
            EXPECT_EQ((port.chip[0x03] >> 6) & 1, GL125IntegerDivisor(optical, x) ? 1 : 0) << optical << "/" << x;
            EXPECT_EQ(((port.chip[0x2C] & 0x3F) << 8 | port.chip[0x2D]), 600 * x / optical);
            chip.StopScan();
        }
    }
}

}  // namespace
