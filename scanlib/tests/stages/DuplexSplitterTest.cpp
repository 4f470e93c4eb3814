#include "StageTest.h"
#include "engine/stages/DuplexSplitter.h"
#include "engine/stages/DuplexSplitterKernels.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

namespace {

// A duplex model: two sensors of 2592 pixels side by side, 268 optical lines apart.
class DuplexSplitterTest : public StageTest<DuplexSplitter> {
protected:
    void SetUp() override
    {
        source.Set(SI_PROP_1050, 2);
        source.Set(SI_PROP_CIS_VERTICAL_OFFSET, 134);
        Build();
    }

    // A duplex page of `lines` lines per side at `mode`, one side `pixels` wide.
    void StartDuplex(int32_t mode, int32_t pixels, int32_t lines)
    {
        StartWith(mode, {{SI_PROP_DUPLEX, 1}, {SI_PROP_SCAN_WIDTH, pixels}, {SI_PROP_SCAN_LENGTH, lines}});
    }
};

TEST(DuplexSplitterSimplex, RegistersNothingOnASimplexModel)
{
    ScriptedSource source;
    DuplexSplitter stage;
    stage.SetSource(&source);
    ASSERT_TRUE(stage.Init());
    EXPECT_TRUE(stage.Properties().empty());
    EXPECT_EQ(stage.FindOwnProperty(SI_PROP_DUPLEX), nullptr);
    EXPECT_EQ(stage.GetActiveSource(), &source);
}

TEST_F(DuplexSplitterTest, DuplexAndWideModeExcludeEachOther)
{
    SetOwn(SI_PROP_DUPLEX, 1);
    SetOwn(SI_PROP_DUPLEX_WIDE_MODE, 1);
    EXPECT_EQ(Own(SI_PROP_DUPLEX), 0);
    SetOwn(SI_PROP_DUPLEX, 1);
    EXPECT_EQ(Own(SI_PROP_DUPLEX_WIDE_MODE), 0);
    EXPECT_EQ(Own(SI_PROP_DUPLEX), 1);
}

TEST_F(DuplexSplitterTest, OneSensorOrBothInWideMode)
{
    EXPECT_EQ(Own(SI_PROP_OPTICAL_WIDTH), 2592);
    EXPECT_EQ(Own(SI_PROP_OPTICAL_LENGTH), 8400 - 268);
    SetOwn(SI_PROP_DUPLEX_WIDE_MODE, 1);
    EXPECT_EQ(Own(SI_PROP_OPTICAL_WIDTH), 5184);
    EXPECT_EQ(Own(SI_PROP_OPTICAL_LENGTH), 8400);
}

TEST_F(DuplexSplitterTest, ScannerCoversTheFrontTheBackAndTheLag)
{
    source.Set(SI_PROP_X_RESOLUTION, 600);
    SetOwn(SI_PROP_DUPLEX, 1);
    SetOwn(SI_PROP_X_OFFSET, 100);
    SetOwn(SI_PROP_SCAN_WIDTH, 2000);
    SetOwn(SI_PROP_SCAN_LENGTH, 1000);
    EXPECT_EQ(source.Get(SI_PROP_X_OFFSET), 100);
    // Offset, the front, and the rest of the sensor up to the mirrored back.
    EXPECT_EQ(source.Get(SI_PROP_SCAN_WIDTH), 100 + 2000 + (2592 - 100));
    EXPECT_EQ(source.Get(SI_PROP_SCAN_LENGTH), 1000 + 134);
    SetOwn(SI_PROP_DUPLEX, 0);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_WIDTH), 2000);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_LENGTH), 1000);
}

TEST_F(DuplexSplitterTest, SideWidthStaysWithinTheSensor)
{
    source.Set(SI_PROP_X_RESOLUTION, 600);
    SetOwn(SI_PROP_SCAN_WIDTH, 2592);
    SetOwn(SI_PROP_X_OFFSET, 592);
    EXPECT_EQ(Own(SI_PROP_SCAN_WIDTH), 2000);
    EXPECT_EQ(Own(SI_PROP_WIDTH_IN_BYTES), 2000 * 3);
}

TEST_F(DuplexSplitterTest, FrontAsItIsBackMirroredAndLagged)
{
    StartDuplex(1, 4, 5);
    const uint32_t wide = static_cast<uint32_t>(source.Get(SI_PROP_WIDTH_IN_BYTES));
    ASSERT_GT(wide, 8u);
    const SideImage front = ReadSide(stage, 0, 4, 2);
    const SideImage back = ReadSide(stage, 1, 4, 3);
    stage.End();
    ASSERT_EQ(front.lines, 5u);
    ASSERT_EQ(back.lines, 5u);
    for (uint32_t line = 0; line < 5; ++line) {
        const std::vector<uint8_t> frontLine = source.Line(line);
        const std::vector<uint8_t> backLine = source.Line(134 + line);
        for (uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(front.bytes[line * 4 + x], frontLine[x]);
            EXPECT_EQ(back.bytes[line * 4 + x], backLine[wide - 1 - x]);
        }
    }
    EXPECT_EQ(source.ends, 1);
}

TEST_F(DuplexSplitterTest, EachSideEndsAtItsOwnLength)
{
    StartDuplex(1, 4, 10);
    // The scanner scans the lag as well; the front still stops at 10 lines.
    EXPECT_EQ(source.Get(SI_PROP_SCAN_LENGTH), 144);
    EXPECT_EQ(ReadSide(stage, 0, 4, 4).lines, 10u);
    EXPECT_EQ(ReadSide(stage, 1, 4, 4).lines, 10u);
    EXPECT_EQ(source.linesServed.front(), 0u);
    EXPECT_EQ(source.linesServed.back(), 143u);
}

TEST_F(DuplexSplitterTest, SidesCanBeReadInTurn)
{
    StartDuplex(2, 3, 4);
    std::vector<uint8_t> buffer(9);
    int got = 0;
    for (uint32_t line = 0; line < 4; ++line) {
        for (uint32_t side : {0u, 1u}) {
            ASSERT_EQ(stage.Read(buffer.data(), 1, side, &got), SI_OK);
            ASSERT_EQ(got, 1);
            std::vector<uint8_t> expected(9);
            const std::vector<uint8_t> wide = source.Line(side == 0 ? line : 134 + line);
            if (side == 0) {
                std::copy_n(wide.begin(), 9, expected.begin());
            } else {
                MirrorLine24(wide, wide.size() / 3, expected);
            }
            EXPECT_EQ(buffer, expected) << line << " " << side;
        }
    }
}

TEST_F(DuplexSplitterTest, MirrorsOneBitBackSides)
{
    StartDuplex(0, 12, 2);
    const std::vector<uint8_t> wide = source.Line(135);
    std::vector<uint8_t> expected(2);
    MirrorLine1(wide, static_cast<size_t>(source.Get(SI_PROP_SCAN_WIDTH)), expected);
    std::vector<uint8_t> buffer(4);
    int got = 0;
    ASSERT_EQ(stage.Read(buffer.data(), 2, 1, &got), SI_OK);
    ASSERT_EQ(got, 2);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 2, buffer.end()), expected);
}

TEST_F(DuplexSplitterTest, RefusesToStartWithoutSpooling)
{
    source.Set(SI_PROP_SPOOL_ENABLE, 0);
    SetOwn(SI_PROP_DUPLEX, 1);
    ASSERT_EQ(stage.GetActiveSource(), &stage);
    EXPECT_FALSE(stage.Start());
    EXPECT_EQ(source.starts, 0);
}

TEST_F(DuplexSplitterTest, WideModeReadsTheScannerStraight)
{
    SetOwn(SI_PROP_DUPLEX_WIDE_MODE, 1);
    EXPECT_EQ(stage.GetActiveSource(), &source);
    SetOwn(SI_PROP_SCAN_WIDTH, 800);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_WIDTH), 800);
    EXPECT_EQ(Own(SI_PROP_WIDTH_IN_BYTES), source.Get(SI_PROP_WIDTH_IN_BYTES));
}

}  // namespace
