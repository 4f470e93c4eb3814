#include "StageTest.h"
#include "engine/stages/Scaler.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <array>

namespace {

// A model with a 300-dpi sensor below the Scaler.
class ScalerTest : public StageTest<Scaler> {
protected:
    ScalerTest() : StageTest(300) {}

    void SetUp() override { Build(); }

    // A page at 600 dpi of `pixels` by `lines`; the scanner's geometry follows.
    void Start600(int32_t mode, int32_t pixels, int32_t lines)
    {
        StartWith(mode, {{SI_PROP_X_RESOLUTION, 600}, {SI_PROP_SCAN_WIDTH, pixels}, {SI_PROP_SCAN_LENGTH, lines}});
    }
};

TEST(ScalerInit, StaysOutOfTheWayOfA600DpiSensor)
{
    ScriptedSource source;
    Scaler stage;
    stage.SetSource(&source);
    ASSERT_TRUE(stage.Init());
    EXPECT_TRUE(stage.Properties().empty());
    EXPECT_EQ(stage.GetActiveSource(), &source);
}

TEST_F(ScalerTest, OffersTheSensorsResolutionsAnd600)
{
    SIProperty record{};
    stage.FindProperty(SI_PROP_X_RESOLUTION)->Get(&record);
    ASSERT_EQ(record.container, SI_CONTAINER_LIST);
    ASSERT_EQ(record.value[0], 6u);
    const auto* items = reinterpret_cast<const int32_t*>(record.value[3]);
    EXPECT_EQ(std::vector<int32_t>(items, items + 6), (std::vector<int32_t>{75, 100, 150, 200, 300, 600}));
    EXPECT_EQ(Own(SI_PROP_X_RESOLUTION), 100);
    EXPECT_EQ(stage.GetActiveSource(), &source);
}

TEST_F(ScalerTest, ScansAt300For600)
{
    SetOwn(SI_PROP_X_RESOLUTION, 600);
    EXPECT_EQ(Own(SI_PROP_Y_RESOLUTION), 600);
    EXPECT_EQ(source.Get(SI_PROP_X_RESOLUTION), 300);
    EXPECT_EQ(source.Get(SI_PROP_Y_RESOLUTION), 300);
    EXPECT_EQ(stage.GetActiveSource(), &stage);
    SetOwn(SI_PROP_Y_RESOLUTION, 200);
    EXPECT_EQ(Own(SI_PROP_X_RESOLUTION), 200);
    EXPECT_EQ(source.Get(SI_PROP_X_RESOLUTION), 200);
    EXPECT_EQ(stage.GetActiveSource(), &source);
}

TEST_F(ScalerTest, GeometryIsWrittenAtTheScannersResolution)
{
    SetOwn(SI_PROP_X_RESOLUTION, 600);
    SetOwn(SI_PROP_X_OFFSET, 200);
    SetOwn(SI_PROP_Y_OFFSET, 51);
    SetOwn(SI_PROP_SCAN_WIDTH, 1001);
    SetOwn(SI_PROP_SCAN_LENGTH, 7);
    EXPECT_EQ(source.Get(SI_PROP_X_OFFSET), 100);
    EXPECT_EQ(source.Get(SI_PROP_Y_OFFSET), 25);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_WIDTH), 501);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_LENGTH), 4);
    EXPECT_EQ(Own(SI_PROP_WIDTH_IN_BYTES), 1001 * 3);
    // The ranges are those of the sensor at 600 dpi.
    auto* width = dynamic_cast<RangeInt*>(stage.FindOwnProperty(SI_PROP_SCAN_WIDTH));
    EXPECT_EQ(width->Maximum(), 2592 * 2 - 200);
}

TEST_F(ScalerTest, PageLengthFoundIsScaled)
{
    SetOwn(SI_PROP_X_RESOLUTION, 600);
    source.Set(SI_PROP_EOP_LENGTH, 1234);
    EXPECT_EQ(Own(SI_PROP_EOP_LENGTH), 2468);
}

TEST_F(ScalerTest, DoublesLinesAndPixels)
{
    Start600(1, 6, 6);
    source.SetPattern([](uint32_t line, uint32_t x) { return static_cast<uint8_t>(10 * (line + 1) + 10 * x); });
    std::vector<uint8_t> buffer(6 * 3);
    int got = 0;
    ASSERT_EQ(stage.Read(buffer.data(), 3, 0, &got), SI_OK);
    ASSERT_EQ(got, 3);
    const std::vector<uint8_t> line1{10, 15, 20, 25, 30, 30};
    const std::vector<uint8_t> line2{20, 25, 30, 35, 40, 40};
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6), line1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 6, buffer.begin() + 12), line1);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 12, buffer.end()), line2);
    // The next read starts with the second copy of line 2.
    ASSERT_EQ(stage.Read(buffer.data(), 1, 0, &got), SI_OK);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6), line2);
    stage.End();
}

TEST_F(ScalerTest, EndsWithEndOfPageAtItsLength)
{
    Start600(2, 4, 7);
    EXPECT_EQ(source.Get(SI_PROP_SCAN_LENGTH), 4);
    const SideImage image = ReadSide(stage, 0, 12, 3);
    EXPECT_EQ(image.lines, 7u);
    EXPECT_EQ(image.last, SI_END_OF_PAGE);
}

TEST_F(ScalerTest, OddWidthsDeliverOnlyTheirOwnPixels)
{
    for (const auto& [mode, bytes] : {std::pair{1, 5}, std::pair{2, 15}, std::pair{0, 1}}) {
        Start600(mode, 5, 2);
        // The scanner scans 3 pixels; the widened line has 6, of which 5 are delivered.
        ASSERT_EQ(source.Get(SI_PROP_SCAN_WIDTH), 3);
        ASSERT_EQ(Own(SI_PROP_WIDTH_IN_BYTES), bytes);
        std::vector<uint8_t> buffer(static_cast<size_t>(bytes) * 2 + 1, 0xEE);
        int got = 0;
        ASSERT_EQ(stage.Read(buffer.data(), 2, 0, &got), SI_OK);
        ASSERT_EQ(got, 2);
        EXPECT_EQ(buffer.back(), 0xEE) << mode;
        stage.End();
    }
}

TEST_F(ScalerTest, ReadsTheWidthOfTheNearestElementBelow)
{
    // A stage between the scanner and the Scaler that delivers the first two
    // bytes of each scanner line, as the splitter delivers one side.
    class Narrowing : public ImageProcessor {
    public:
        Narrowing() { AddProperty(&width_); }
        bool IsActive() override { return true; }
        SIResult Read(uint8_t* buffer, uint32_t, uint32_t side, int* linesRead) override
        {
            uint8_t wide[3];
            const SIResult result = ActiveUpstream()->Read(wide, 1, side, linesRead);
            std::copy_n(wide, 2, buffer);
            return result;
        }
        SingleInt width_{SI_PROP_WIDTH_IN_BYTES, SI_ACCESS_READ_ONLY, 2};
    } narrowing;
    narrowing.SetSource(&source);
    stage.Shutdown();
    stage.SetSource(&narrowing);
    ASSERT_TRUE(stage.Init());
    source.SetGeometry(1, 3, 2);
    SetOwn(SI_PROP_X_RESOLUTION, 600);
    SetOwn(SI_PROP_SCAN_WIDTH, 4);
    source.SetGeometry(1, 3, 2);
    source.SetPattern([](uint32_t, uint32_t x) { return static_cast<uint8_t>(100 + 10 * x); });
    ASSERT_EQ(stage.GetActiveSource(), &stage);
    ASSERT_TRUE(stage.Start());
    std::vector<uint8_t> buffer(4);
    int got = 0;
    ASSERT_EQ(stage.Read(buffer.data(), 1, 0, &got), SI_OK);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{100, 105, 110, 110}));
    stage.End();
}

}  // namespace
