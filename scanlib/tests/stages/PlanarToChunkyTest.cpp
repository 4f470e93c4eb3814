#include "StageTest.h"
#include "engine/stages/PlanarToChunky.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

namespace {

class PlanarToChunkyTest : public StageTest<PlanarToChunky> {
protected:
    void SetUp() override { Build(); }
};

TEST(PlanarToChunkyInit, NeedsPlanarLinesBelow)
{
    ScriptedSource source;
    source.Set(SI_PROP_CHUNKY, 1);
    PlanarToChunky stage;
    stage.SetSource(&source);
    EXPECT_FALSE(stage.Init());
}

TEST_F(PlanarToChunkyTest, HidesTheScannersChunkyFlag)
{
    EXPECT_EQ(stage.FindProperty(SI_PROP_CHUNKY)->GetInt(), 1);
    EXPECT_EQ(stage.FindProperty(SI_PROP_CHANNEL_ORDER), stage.FindOwnProperty(SI_PROP_CHANNEL_ORDER));
}

TEST_F(PlanarToChunkyTest, ActiveForColourOnly)
{
    for (const auto& [mode, active] : {std::pair{0, false}, std::pair{1, false}, std::pair{2, true}}) {
        source.Set(SI_PROP_COLOR_MODE, mode);
        EXPECT_EQ(stage.GetActiveSource() == &stage, active) << mode;
    }
}

TEST_F(PlanarToChunkyTest, InterleavesEveryLineInBothOrders)
{
    source.SetGeometry(2, 3, 4);
    for (const int32_t order : {0, 1}) {
        stage.FindOwnProperty(SI_PROP_CHANNEL_ORDER)->SetInt(order);
        ASSERT_EQ(stage.GetActiveSource(), &stage);
        ASSERT_TRUE(stage.Start());
        const SideImage image = ReadSide(stage, 0, 9, 3);
        stage.End();
        ASSERT_EQ(image.lines, 4u);
        for (uint32_t line = 0; line < 4; ++line) {
            const std::vector<uint8_t> planar = source.Line(line);
            for (uint32_t x = 0; x < 3; ++x) {
                const uint8_t* pixel = &image.bytes[line * 9 + x * 3];
                const uint32_t first = order == 0 ? 2 : 0;
                EXPECT_EQ(pixel[0], planar[first * 3 + x]);
                EXPECT_EQ(pixel[1], planar[3 + x]);
                EXPECT_EQ(pixel[2], planar[(2 - first) * 3 + x]);
            }
        }
    }
    EXPECT_EQ(source.starts, 2);
    EXPECT_EQ(source.ends, 2);
}

TEST_F(PlanarToChunkyTest, WaitsForASlowSourceAndEndsWithEndOfPage)
{
    source.SetGeometry(2, 2, 5);
    source.SetStalling(true);
    stage.GetActiveSource();
    ASSERT_TRUE(stage.Start());
    const SideImage image = ReadSide(stage, 0, 6, 4);
    EXPECT_EQ(image.lines, 5u);
    EXPECT_EQ(image.last, SI_END_OF_PAGE);
}

}  // namespace
