#include "StageTest.h"
#include "engine/stages/Descreen.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <array>
#include <map>

namespace {

class DescreenTest : public StageTest<Descreen> {
protected:
    void SetUp() override
    {
        Build();
        SetOwn(SI_PROP_DESCREEN, 1);
    }

    // A gray page whose pixels are given line by line; unlisted pixels are 0.
    void GrayPage(int32_t pixels, int32_t lines, std::map<std::pair<uint32_t, uint32_t>, uint8_t> set)
    {
        source.SetGeometry(1, pixels, lines);
        source.SetPattern([set](uint32_t line, uint32_t x) {
            const auto it = set.find({line, x});
            return it == set.end() ? uint8_t{0} : it->second;
        });
    }

    SideImage Run(uint32_t perCall = 2)
    {
        EXPECT_EQ(stage.GetActiveSource(), &stage);
        EXPECT_TRUE(stage.Start());
        SideImage image = ReadSide(stage, 0, static_cast<uint32_t>(source.Get(SI_PROP_WIDTH_IN_BYTES)), perCall);
        stage.End();
        return image;
    }
};

TEST_F(DescreenTest, ActiveForGrayAndInterleavedColour)
{
    struct Case {
        int32_t enabled, mode, chunky;
        bool active;
    };
    for (const Case& c : {Case{1, 1, 0, true}, Case{1, 2, 1, true}, Case{1, 2, 0, false}, Case{1, 0, 1, false},
                          Case{0, 1, 0, false}, Case{0, 2, 1, false}}) {
        stage.FindOwnProperty(SI_PROP_DESCREEN)->SetInt(c.enabled);
        source.Set(SI_PROP_COLOR_MODE, c.mode);
        source.Set(SI_PROP_CHUNKY, c.chunky);
        EXPECT_EQ(stage.GetActiveSource() == &stage, c.active) << c.enabled << c.mode << c.chunky;
    }
}

TEST_F(DescreenTest, SpreadsABrightPixel)
{
    GrayPage(5, 5, {{{2, 2}, 110}});
    const SideImage image = Run();
    ASSERT_EQ(image.lines, 5u);
    const std::vector<uint8_t> expected{
        0, 0,  0,  0,  0,  //
        0, 10, 10, 10, 0,  //
        0, 10, 30, 10, 0,  //
        0, 10, 10, 10, 0,  //
        0, 0,  0,  0,  0,
    };
    EXPECT_EQ(image.bytes, expected);
    EXPECT_EQ(image.last, SI_END_OF_PAGE);
}

TEST_F(DescreenTest, ReplicatesTheFirstAndLastLine)
{
    // A bright pixel in the corner counts twice across each replicated edge.
    GrayPage(2, 2, {{{0, 0}, 110}, {{1, 1}, 55}});
    const SideImage image = Run(1);
    ASSERT_EQ(image.lines, 2u);
    // Line 0: previous = middle = sums of line 0, next = sums of line 1.
    //   x0: (220 + 220 + 55 + 220) / 11 = 65; x1: (110 + 110 + 110 + 0) / 11 = 30
    // Line 1: previous = sums of line 0, middle = next = sums of line 1.
    //   x0: (220 + 55 + 55 + 0) / 11 = 30; x1: (110 + 110 + 110 + 110) / 11 = 40
    EXPECT_EQ(image.bytes, (std::vector<uint8_t>{65, 30, 30, 40}));
}

TEST_F(DescreenTest, OnePixelLinesStayInside)
{
    GrayPage(1, 3, {{{0, 0}, 11}, {{1, 0}, 22}, {{2, 0}, 33}});
    const SideImage image = Run();
    // (3 x 11 + 3 x 11 + 3 x 22 + 2 x 11) / 11 = 14, (33 + 66 + 99 + 44) / 11 = 22, (66 + 99 + 99 + 66) / 11 = 30
    EXPECT_EQ(image.bytes, (std::vector<uint8_t>{14, 22, 30}));
}

TEST_F(DescreenTest, ColourChannelsStaySeparate)
{
    source.Set(SI_PROP_CHUNKY, 1);
    source.SetGeometry(2, 3, 3);
    // Uniform per channel: 10, 200, 90.
    source.SetPattern([](uint32_t, uint32_t i) { return uint8_t{std::array<uint8_t, 3>{10, 200, 90}[i % 3]}; });
    const SideImage image = Run();
    ASSERT_EQ(image.lines, 3u);
    for (size_t i = 0; i < image.bytes.size(); ++i) {
        EXPECT_EQ(image.bytes[i], (std::array<uint8_t, 3>{10, 200, 90}[i % 3])) << i;
    }
}

TEST_F(DescreenTest, ASlowSourceGivesTheSameImage)
{
    GrayPage(4, 6, {{{1, 1}, 200}, {{4, 3}, 90}, {{5, 0}, 255}});
    const SideImage steady = Run(4);
    source.SetStalling(true);
    const SideImage stalling = Run(3);
    EXPECT_EQ(stalling.lines, 6u);
    EXPECT_EQ(stalling.bytes, steady.bytes);
}

TEST_F(DescreenTest, AShortPageStillDeliversItsLastLine)
{
    GrayPage(3, 10, {{{3, 1}, 110}});
    source.SetStreamLines(4);
    const SideImage image = Run(3);
    ASSERT_EQ(image.lines, 4u);
    EXPECT_EQ(image.last, SI_END_OF_PAGE);
    // The last line is delivered with the bottom edge replicated.
    EXPECT_EQ(std::vector<uint8_t>(image.bytes.end() - 3, image.bytes.end()), (std::vector<uint8_t>{20, 40, 20}));
}

TEST_F(DescreenTest, KeepsBothSidesApart)
{
    GrayPage(3, 4, {{{1, 1}, 110}, {{1002, 0}, 220}});
    source.Set(SI_PROP_DUPLEX, 1);
    source.SetSidedStreams(true);
    std::array<SideImage, 2> apart;
    EXPECT_EQ(stage.GetActiveSource(), &stage);
    ASSERT_TRUE(stage.Start());
    apart[0] = ReadSide(stage, 0, 3);
    apart[1] = ReadSide(stage, 1, 3);
    stage.End();

    // Read one line of each side in turn: each side keeps its own look-ahead.
    ASSERT_TRUE(stage.Start());
    std::array<std::vector<uint8_t>, 2> inTurn;
    std::vector<uint8_t> line(3);
    for (int i = 0; i < 4; ++i) {
        for (uint32_t side : {0u, 1u}) {
            int got = 0;
            ASSERT_EQ(stage.Read(line.data(), 1, side, &got), SI_OK);
            ASSERT_EQ(got, 1);
            inTurn[side].insert(inTurn[side].end(), line.begin(), line.end());
        }
    }
    stage.End();
    EXPECT_EQ(inTurn[0], apart[0].bytes);
    EXPECT_EQ(inTurn[1], apart[1].bytes);
    EXPECT_NE(apart[0].bytes, apart[1].bytes);
}

}  // namespace
