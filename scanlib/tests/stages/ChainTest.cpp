// The stages in the real processing chain, spooler included, over a scripted
// scanner model: which element the caller reads for each combination of
// settings, and the whole chain's image against the stage arithmetic.
#include "CaseName.h"
#include "ScriptedSource.h"
#include "engine/chain/ProcessingChain.h"
#include "engine/stages/DescreenKernels.h"
#include "engine/stages/DuplexSplitterKernels.h"
#include "engine/stages/PlanarToChunkyKernels.h"
#include "engine/stages/ScalerKernels.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

namespace {

enum Stage { kModel = -1, kSpool = 0, kPlanar = 1, kSplitter = 2, kDescreen = 3, kScaler = 4, kEndOfPage = 5 };

struct Settings {
    int32_t opticalDpi = 600;
    int32_t sides = 1;  // property 1050
    int32_t spool = 0;
    int32_t mode = 1;
    int32_t duplex = 0;
    int32_t descreen = 0;
    int32_t resolution = 300;
    int32_t endOfPage = 0;
};

class ChainTest : public ::testing::Test {
protected:
    void Attach(const Settings& s)
    {
        source = std::make_unique<ScriptedSource>(s.opticalDpi);
        source->Set(SI_PROP_1050, s.sides);
        source->Set(SI_PROP_CIS_VERTICAL_OFFSET, 3);
        ASSERT_TRUE(chain.Attach(source.get()));
        Set(SI_PROP_SPOOL_ENABLE, s.spool);
        source->SetGeometry(s.mode, 8, 6);
        if (s.sides > 1) {
            Set(SI_PROP_DUPLEX, s.duplex);
        }
        Set(SI_PROP_DESCREEN, s.descreen);
        Set(SI_PROP_X_RESOLUTION, s.resolution);
        Set(SI_PROP_EOP_DETECT, s.endOfPage);
    }

    // Sets a property as a front end does, through the chain.
    void Set(uint16_t id, int32_t value)
    {
        ASSERT_TRUE(SetAsFrontEnd(chain.FindProperty(id), value)) << id << " := " << value;
    }
    int32_t Get(uint16_t id) { return chain.FindProperty(id)->GetInt(); }

    // The front end's page geometry; the scanner's bytes per line follow its width.
    void Page(int32_t pixels, int32_t lines)
    {
        Set(SI_PROP_SCAN_WIDTH, pixels);
        Set(SI_PROP_SCAN_LENGTH, lines);
        source->SetGeometry(source->Get(SI_PROP_COLOR_MODE), source->Get(SI_PROP_SCAN_WIDTH),
                            source->Get(SI_PROP_SCAN_LENGTH));
    }

    ImageSource* Element(int stage)
    {
        if (stage == kModel) {
            return source.get();
        }
        return chain.Stages()[static_cast<size_t>(stage)];
    }

    void TearDown() override { chain.Detach(); }

    ProcessingChain chain;
    std::unique_ptr<ScriptedSource> source;
};

struct ActivityCase {
    const char* name;
    Settings settings;
    int reads;  // the element the caller reads
};

class ChainActivityTest : public ChainTest, public ::testing::WithParamInterface<ActivityCase> {};

TEST_P(ChainActivityTest, CallerReadsTheTopmostActiveElement)
{
    Attach(GetParam().settings);
    Page(8, 6);
    ASSERT_TRUE(chain.StartScan());
    EXPECT_EQ(chain.ActiveSource(), Element(GetParam().reads));
    const uint32_t bytes = static_cast<uint32_t>(Get(SI_PROP_WIDTH_IN_BYTES));
    const SideImage image = ReadSide(*chain.ActiveSource(), 0, bytes, 4);
    chain.EndScan();
    EXPECT_EQ(image.lines, static_cast<uint32_t>(Get(SI_PROP_SCAN_LENGTH)));
    EXPECT_EQ(image.last, SI_END_OF_PAGE);
    EXPECT_EQ(source->ends, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, ChainActivityTest,
    ::testing::Values(ActivityCase{"EveryStageInactive", {}, kModel},
                      ActivityCase{"SpoolerAlone", {.spool = 1}, kSpool},
                      ActivityCase{"PlanarToChunkyAlone", {.mode = 2}, kPlanar},
                      ActivityCase{"SplitterWithTheSpooler", {.sides = 2, .spool = 1, .duplex = 1}, kSplitter},
                      ActivityCase{"DescreenAlone", {.descreen = 1}, kDescreen},
                      ActivityCase{"DescreenNotOnLineArt", {.mode = 0, .descreen = 1}, kModel},
                      ActivityCase{"ScalerAlone", {.opticalDpi = 300, .resolution = 600}, kScaler},
                      ActivityCase{"ScalerNotAtTheSensorsResolution", {.opticalDpi = 300}, kModel},
                      ActivityCase{"EndOfPageAlone", {.endOfPage = 1}, kEndOfPage},
                      ActivityCase{"AllTogether",
                                   {.opticalDpi = 300, .sides = 2, .spool = 1, .mode = 2, .duplex = 1,
                                    .descreen = 1, .resolution = 600, .endOfPage = 1},
                                   kEndOfPage}),
    CaseName());

TEST_F(ChainTest, ScalerOffersItsListOnlyOn300DpiSensors)
{
    for (const auto& [dpi, count] : {std::pair{300, 6u}, std::pair{600, 8u}}) {
        Attach({.opticalDpi = dpi});
        SIProperty record{};
        chain.FindProperty(SI_PROP_X_RESOLUTION)->Get(&record);
        EXPECT_EQ(record.value[0], count) << dpi;
        chain.Detach();
    }
}

TEST_F(ChainTest, DuplexWithoutSpoolingDoesNotStart)
{
    Attach({.sides = 2, .spool = 0, .duplex = 1});
    EXPECT_FALSE(chain.StartScan());
    EXPECT_EQ(source->starts, 0);
}

// The chain's image of one side, computed from the stage arithmetic: planar
// lines interleaved, the side cut out (the back mirrored and lagged),
// descreened with replicated edges, doubled, and cut at the found length.
std::vector<uint8_t> ExpectedSide(ScriptedSource& source, uint32_t side, uint32_t sideLines, uint32_t sideBytes,
                                  uint32_t lag, uint32_t deliveredBytes, uint32_t deliveredLines)
{
    const uint32_t pixels = static_cast<uint32_t>(source.Get(SI_PROP_SCAN_WIDTH));
    std::vector<std::vector<uint8_t>> split;
    for (uint32_t j = 0; j < sideLines; ++j) {
        const std::vector<uint8_t> planar = source.Line(side == 0 ? j : lag + j);
        std::vector<uint8_t> chunky(planar.size());
        InterleavePlanes(planar, chunky, pixels, PlaneOrder::Reversed);
        std::vector<uint8_t> line(sideBytes);
        if (side == 0) {
            std::copy_n(chunky.begin(), sideBytes, line.begin());
        } else {
            MirrorLine24(chunky, pixels, line);
        }
        split.push_back(line);
    }
    std::vector<std::vector<uint16_t>> sums;
    for (const auto& line : split) {
        sums.emplace_back(sideBytes);
        HorizontalSum(line, 3, sums.back());
    }
    std::vector<uint8_t> image;
    for (uint32_t j = 0; j < sideLines; ++j) {
        std::vector<uint8_t> smooth(sideBytes);
        DescreenLine(sums[j == 0 ? 0 : j - 1], sums[j], sums[std::min(j + 1, sideLines - 1)], split[j], smooth);
        std::vector<uint8_t> wide(WidenedBytes(sideBytes));
        WidenLine(smooth, 24, wide);
        for (int copy = 0; copy < 2; ++copy) {
            image.insert(image.end(), wide.begin(), wide.begin() + deliveredBytes);
        }
    }
    image.resize(static_cast<size_t>(deliveredLines) * deliveredBytes);
    return image;
}

TEST_F(ChainTest, AllStagesTogetherGiveTheComposedImage)
{
    for (const int32_t toMemory : {0, 1}) {
        Attach({.opticalDpi = 300, .sides = 2, .spool = 1, .mode = 2, .duplex = 1, .descreen = 1,
                .resolution = 600, .endOfPage = 1});
        Set(SI_PROP_SPOOL_TO_MEMORY, toMemory);
        Page(7, 12);  // odd: the scanner scans 4 pixels per side
        // The splitter's side is 4 pixels and 6 lines; the scanner adds the lag.
        ASSERT_EQ(chain.Stages()[kSplitter]->FindOwnProperty(SI_PROP_SCAN_WIDTH)->GetInt(), 4);
        ASSERT_EQ(source->Get(SI_PROP_SCAN_LENGTH), 6 + 3);
        // The paper end was found after 5 scanner lines: 10 delivered lines.
        source->Set(SI_PROP_EOP_LENGTH, 5);
        ASSERT_EQ(Get(SI_PROP_EOP_LENGTH), 10);

        ASSERT_TRUE(chain.StartScan());
        const uint32_t bytes = static_cast<uint32_t>(Get(SI_PROP_WIDTH_IN_BYTES));
        ASSERT_EQ(bytes, 21u);
        for (uint32_t side : {0u, 1u}) {
            const SideImage image = ReadSide(*chain.ActiveSource(), side, bytes, 3);
            EXPECT_EQ(image.lines, 10u);
            EXPECT_EQ(image.bytes, ExpectedSide(*source, side, 6, 12, 3, bytes, 10)) << side << toMemory;
        }
        chain.EndScan();
        chain.Detach();
    }
}

// The model finds the page's end while the spooler's worker reads it; the
// length it publishes then reaches the scaler (at twice the scanner's
// resolution) and the end-of-page stage above while the front end reads.
TEST_F(ChainTest, PageLengthFoundDuringTheSpooledPageEndsThePageAtTheScaledLength)
{
    for (const int32_t toMemory : {0, 1}) {
        SCOPED_TRACE(toMemory);
        Attach({.opticalDpi = 300, .spool = 1, .mode = 1, .resolution = 600, .endOfPage = 1});
        Set(SI_PROP_SPOOL_TO_MEMORY, toMemory);
        Page(8, 200);
        const int32_t scannerLines = source->Get(SI_PROP_SCAN_LENGTH);
        ASSERT_GT(scannerLines, 60);
        source->SetPaperEnd(40, 50);

        ASSERT_TRUE(chain.StartScan());
        const uint32_t bytes = static_cast<uint32_t>(Get(SI_PROP_WIDTH_IN_BYTES));
        const SideImage image = ReadSide(*chain.ActiveSource(), 0, bytes, 7);
        EXPECT_EQ(image.last, SI_END_OF_PAGE);
        EXPECT_EQ(image.lines, 100u);
        EXPECT_EQ(Get(SI_PROP_EOP_LENGTH), 100);
        EXPECT_NE(source->paperEndThread, std::this_thread::get_id()) << "published from the spooler's worker";
        chain.EndScan();
        chain.Detach();
    }
}

}  // namespace
