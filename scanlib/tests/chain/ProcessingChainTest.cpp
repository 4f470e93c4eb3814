// The processing chain over a model stand-in with the real stages: shape,
// property lookup and hiding, active-source resolution, reset order, attach
// and detach, and a scan read through the chain.
#include "../catalogue/ModelStandIn.h"

#include "engine/chain/ProcessingChain.h"
#include <SIRecord.h>
#include "engine/spool/Spooler.h"

#include <SIPropertyIds.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

ModelStandIn::Options Dpi300() {
    ModelStandIn::Options o;
    o.opticalDpi = 300;
    o.sensorPixels = 2592;
    o.opticalScanLength = 4200;
    o.ledFamily300 = true;
    return o;
}

void SetList(ProcessingChain& chain, uint16_t id, int32_t value) {
    SIProperty r{};
    r.id = id;
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_INT32;
    r.value[0] = SlotFromInt(value);
    Property* p = chain.FindProperty(id);
    ASSERT_NE(p, nullptr) << id;
    ASSERT_TRUE(p->Set(&r)) << id;
}

void SetBool(ProcessingChain& chain, uint16_t id, int32_t value) {
    SIProperty r{};
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_BOOL;
    r.value[0] = SlotFromInt(value);
    Property* p = chain.FindProperty(id);
    ASSERT_NE(p, nullptr) << id;
    ASSERT_TRUE(p->Set(&r)) << id;
}

class ChainTest : public ::testing::Test {
protected:
    ~ChainTest() override { chain.Detach(); }
    ModelStandIn model;
    ProcessingChain chain;
};

TEST_F(ChainTest, AttachBuildsTheStagesInOrderOnce) {
    EXPECT_FALSE(chain.Attach(nullptr));
    ASSERT_TRUE(chain.Attach(&model));
    const auto& stages = chain.Stages();
    EXPECT_EQ(stages[0], &chain.GetSpooler());
    EXPECT_EQ(stages[0]->Upstream(), &model);
    for (size_t i = 1; i < stages.size(); ++i) EXPECT_EQ(stages[i]->Upstream(), stages[i - 1]);
    EXPECT_TRUE(chain.GetSpooler().IsRunning());
    SetList(chain, SI_PROP_COLOR_MODE, 1);
    EXPECT_TRUE(chain.Attach(&model));
    EXPECT_EQ(chain.FindProperty(SI_PROP_COLOR_MODE)->GetInt(), 1) << "a second attach changes nothing";
}

TEST_F(ChainTest, StagePropertiesHideTheScannersFromTheLastStageBack) {
    ASSERT_TRUE(chain.Attach(&model));
    EXPECT_EQ(chain.FindProperty(SI_PROP_CHUNKY)->GetInt(), 1) << "the planar-to-chunky stage's view";
    EXPECT_EQ(chain.FindProperty(SI_PROP_CHUNKY)->Owner(), chain.Stages()[1]);
    EXPECT_EQ(chain.FindProperty(SI_PROP_SPOOL_ENABLE)->Owner(), &chain.GetSpooler());
    EXPECT_EQ(chain.FindProperty(SI_PROP_X_RESOLUTION), &model.common.xResolution) << "600-dpi model: no scaler";
    EXPECT_EQ(chain.FindProperty(SI_PROP_DUPLEX), nullptr) << "simplex model: no duplex properties";
    EXPECT_EQ(chain.FindProperty(4321), nullptr);
}

TEST(Chain, ThreeHundredDpiModelOffersTheScalersResolutions) {
    ModelStandIn model(Dpi300());
    ProcessingChain chain;
    ASSERT_TRUE(chain.Attach(&model));
    SIProperty r{};
    chain.FindProperty(SI_PROP_X_RESOLUTION)->Get(&r);
    ASSERT_EQ(IntFromSlot(r.value[0]), 6);
    const auto* items = PointerFromSlot<const int32_t>(r.value[3]);
    EXPECT_EQ(items[4], 300);
    EXPECT_EQ(items[5], 600);
    EXPECT_EQ(IntFromSlot(r.value[1]), 100);
    SetList(chain, SI_PROP_X_RESOLUTION, 600);
    EXPECT_EQ(model.FindProperty(SI_PROP_X_RESOLUTION)->GetInt(), 300) << "written through, at most 300";
    EXPECT_EQ(model.FindProperty(SI_PROP_Y_RESOLUTION)->GetInt(), 300);
    chain.ResetAll();
    EXPECT_EQ(chain.FindProperty(SI_PROP_X_RESOLUTION)->GetInt(), 100) << "stage ends at its own default";
    EXPECT_EQ(model.FindProperty(SI_PROP_X_RESOLUTION)->GetInt(), 100);
    chain.Detach();
}

TEST_F(ChainTest, ActiveSourceIsTheTopmostActiveStage) {
    ASSERT_TRUE(chain.Attach(&model));
    const auto& stages = chain.Stages();
    struct Case {
        int32_t spool, mode;
        ImageSource* expected;
    };
    for (const Case& c : {Case{0, 1, &model}, Case{1, 1, stages[0]}, Case{0, 2, stages[1]}, Case{1, 2, stages[1]}}) {
        SetBool(chain, SI_PROP_SPOOL_ENABLE, c.spool);
        SetList(chain, SI_PROP_COLOR_MODE, c.mode);
        ASSERT_TRUE(chain.StartScan());
        EXPECT_EQ(chain.ActiveSource(), c.expected) << "spool " << c.spool << " mode " << c.mode;
        chain.EndScan();
        EXPECT_EQ(chain.ActiveSource(), nullptr);
    }
    EXPECT_EQ(model.starts, model.ends);
}

TEST_F(ChainTest, ReadsAPageThroughTheSpooler) {
    ASSERT_TRUE(chain.Attach(&model));
    SetList(chain, SI_PROP_COLOR_MODE, 1);
    const int32_t lines = chain.FindProperty(SI_PROP_SCAN_LENGTH)->GetInt();
    const int32_t width = chain.FindProperty(SI_PROP_WIDTH_IN_BYTES)->GetInt();
    ASSERT_EQ(lines, 1100);
    ASSERT_EQ(width, 864);
    ASSERT_TRUE(chain.StartScan());
    std::vector<uint8_t> buffer(static_cast<size_t>(width) * 64);
    int total = 0;
    SIResult result = SI_OK;
    do {
        result = chain.ReadImageData(buffer.data(), 64, 0, &total);
    } while (result == SI_OK && total == 0);
    ASSERT_EQ(result, SI_OK);
    EXPECT_EQ(buffer[static_cast<size_t>(width) + 3], ModelStandIn::Byte(1, 3));
    int read = total;
    for (;;) {
        int got = 0;
        result = chain.ReadImageData(buffer.data(), 64, 0, &got);
        if (result != SI_OK) break;
        read += got;
    }
    EXPECT_EQ(result, SI_END_OF_PAGE);
    EXPECT_EQ(read, lines);
    chain.EndScan();
    EXPECT_EQ(model.ends, 1);
}

TEST_F(ChainTest, StartFailsWhenDetachedOrWhenTheSourceFails) {
    EXPECT_FALSE(chain.StartScan());
    ASSERT_TRUE(chain.Attach(&model));
    SetBool(chain, SI_PROP_SPOOL_ENABLE, 0);
    SetList(chain, SI_PROP_COLOR_MODE, 1);
    model.startResult = false;
    EXPECT_FALSE(chain.StartScan());
    EXPECT_EQ(chain.ActiveSource(), nullptr);
    int got = -1;
    uint8_t byte = 0;
    EXPECT_EQ(chain.ReadImageData(&byte, 1, 0, &got), SI_ERR_NOT_SCANNING);

    // A start that throws leaves no active source either: a later detach or
    // end must not end a scan that never began.
    model.startResult = true;
    model.startThrows = true;
    EXPECT_THROW(chain.StartScan(), std::runtime_error);
    EXPECT_EQ(chain.ActiveSource(), nullptr);
    chain.EndScan();
    EXPECT_EQ(model.ends, 0);
}

TEST_F(ChainTest, ResetAndRestoreReachTheModelAndEveryStage) {
    ASSERT_TRUE(chain.Attach(&model));
    chain.SaveRestoreAll(true);
    SetList(chain, SI_PROP_COLOR_MODE, 0);
    SetList(chain, SI_PROP_SPOOL_TO_MEMORY, 1);
    SetList(chain, SI_PROP_BRIGHTNESS, 40);
    chain.SaveRestoreAll(false);
    EXPECT_EQ(chain.FindProperty(SI_PROP_COLOR_MODE)->GetInt(), 2);
    EXPECT_EQ(chain.FindProperty(SI_PROP_SPOOL_TO_MEMORY)->GetInt(), 0);
    EXPECT_EQ(chain.FindProperty(SI_PROP_BRIGHTNESS)->GetInt(), 0);
    EXPECT_EQ(chain.FindProperty(SI_PROP_BITS_PER_PIXEL)->GetInt(), 24) << "dependants follow the restore";
    SetList(chain, SI_PROP_COLOR_MODE, 0);
    SetList(chain, SI_PROP_SPOOL_TO_MEMORY, 1);
    chain.ResetAll();
    EXPECT_EQ(chain.FindProperty(SI_PROP_COLOR_MODE)->GetInt(), 2);
    EXPECT_EQ(chain.FindProperty(SI_PROP_SPOOL_TO_MEMORY)->GetInt(), 0);
}

TEST_F(ChainTest, DetachReleasesTheStagesAndKeepsTheModelsOwnWiring) {
    ASSERT_TRUE(chain.Attach(&model));
    chain.Detach();
    EXPECT_FALSE(chain.IsAttached());
    EXPECT_FALSE(chain.GetSpooler().IsRunning());
    for (ImageProcessor* stage : chain.Stages()) {
        EXPECT_EQ(stage->Upstream(), nullptr);
        EXPECT_TRUE(stage->Properties().empty());
    }
    for (const auto& [id, property] : model.Properties()) {
        for (const Property* listener : property->Listeners()) EXPECT_EQ(listener->Owner(), &model) << id;
    }
    model.common.xResolution.SetInt(300);
    EXPECT_EQ(model.common.yResolution.GetInt(), 300) << "the model's own dependencies stay";
    ASSERT_TRUE(chain.Attach(&model)) << "the chain can be built again";
    EXPECT_TRUE(chain.GetSpooler().IsRunning());
}

TEST_F(ChainTest, DetachDuringAScanEndsIt) {
    ASSERT_TRUE(chain.Attach(&model));
    SetList(chain, SI_PROP_COLOR_MODE, 1);
    ASSERT_TRUE(chain.StartScan());
    std::vector<uint8_t> buffer(864 * 8);
    int got = 0;
    chain.ReadImageData(buffer.data(), 8, 0, &got);
    chain.Detach();
    EXPECT_EQ(model.ends, 1);
    EXPECT_EQ(chain.ActiveSource(), nullptr);
}

}  // namespace
