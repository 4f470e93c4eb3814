#include "StageTest.h"
#include "engine/stages/EndOfPageDetect.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

namespace {

class EndOfPageDetectTest : public StageTest<EndOfPageDetect> {
protected:
    void SetUp() override
    {
        Build();
        source.SetGeometry(1, 4, 3000);
        source.Set(SI_PROP_EOP_DETECT, 1);
    }
};

TEST_F(EndOfPageDetectTest, ActiveWithPaperEndDetection)
{
    EXPECT_EQ(stage.GetActiveSource(), &stage);
    source.Set(SI_PROP_EOP_DETECT, 0);
    EXPECT_EQ(stage.GetActiveSource(), &source);
}

TEST_F(EndOfPageDetectTest, CutsEitherSideAtTheFoundLength)
{
    source.Set(SI_PROP_EOP_LENGTH, 2000);
    source.SetSidedStreams(true);
    stage.GetActiveSource();
    ASSERT_TRUE(stage.Start());
    for (uint32_t side : {0u, 1u}) {
        const SideImage image = ReadSide(stage, side, 4, 333);
        EXPECT_EQ(image.lines, 2000u) << side;
        EXPECT_EQ(image.last, SI_END_OF_PAGE);
    }
}

TEST_F(EndOfPageDetectTest, FollowsALengthLoweredDuringThePage)
{
    stage.GetActiveSource();
    ASSERT_TRUE(stage.Start());
    std::vector<uint8_t> buffer(4 * 100);
    int got = 0;
    ASSERT_EQ(stage.Read(buffer.data(), 100, 0, &got), SI_OK);
    ASSERT_EQ(got, 100);
    source.Set(SI_PROP_EOP_LENGTH, 150);
    ASSERT_EQ(stage.Read(buffer.data(), 100, 0, &got), SI_OK);
    EXPECT_EQ(got, 50);
    EXPECT_EQ(stage.Read(buffer.data(), 100, 0, &got), SI_END_OF_PAGE);
    EXPECT_EQ(got, 0);
    // A length below what was delivered ends the side at once.
    source.Set(SI_PROP_EOP_LENGTH, 10);
    EXPECT_EQ(stage.Read(buffer.data(), 100, 0, &got), SI_END_OF_PAGE);
}

TEST_F(EndOfPageDetectTest, AShorterScanEndsFirst)
{
    source.SetStreamLines(30);
    stage.GetActiveSource();
    ASSERT_TRUE(stage.Start());
    EXPECT_EQ(ReadSide(stage, 0, 4, 8).lines, 30u);
}

}  // namespace
