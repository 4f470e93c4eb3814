// The scanner's property catalogue against a model stand-in: every id's
// container, type, access, default and range or list after open, who listens
// to whom, and the catalogue's own rules.
#include "ModelStandIn.h"

#include <SIRecord.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace {

constexpr uint16_t S = SI_CONTAINER_SINGLE, R = SI_CONTAINER_RANGE, L = SI_CONTAINER_LIST, A = SI_CONTAINER_ARRAY;
constexpr uint16_t I = SI_TYPE_INT32, B = SI_TYPE_BOOL, F = SI_TYPE_FLOAT, U = SI_TYPE_UINT16;
constexpr uint16_t RO = SI_ACCESS_READ_ONLY, RW = SI_ACCESS_READ_WRITE;

// Slots as Get fills them after open (600-dpi model at 100 dpi, colour):
// single {value}, bool {current, default}, range {min, max, step, default,
// current}, list {count, current, default}, array {count}.
struct Shape {
    uint16_t id;
    uint16_t container, type, access;
    std::vector<double> slots;
    bool saved;  // ranges: takes part in save/restore
};

const std::vector<Shape>& CommonShapes() {
    static const std::vector<Shape> shapes{
        {2, S, I, RO, {600}, false},
        {3, S, I, RO, {5184}, false},
        {4, L, I, RW, {8, 100, 100}, false},
        {5, L, I, RW, {8, 100, 100}, false},
        {6, S, I, RO, {8}, false},
        {7, S, I, RO, {24}, false},
        {8, L, I, RW, {3, 2, 2}, false},
        {9, R, I, RW, {-100, 100, 1, 0, 0}, true},
        {10, R, I, RW, {-100, 100, 1, 0, 0}, true},
        {11, L, I, RW, {2, 0, 0}, false},
        {12, R, I, RW, {0, 1399, 1, 0, 0}, true},
        {13, R, I, RW, {0, 863, 1, 0, 0}, true},
        {14, R, I, RW, {1, 864, 1, 864, 864}, true},
        {15, R, I, RW, {1, 1400, 1, 1100, 1100}, true},
        {16, S, I, RO, {0}, false},
        {17, L, I, RW, {2, 0, 0}, false},
        {19, S, I, RO, {2592}, false},
        {23, L, I, RW, {2, 0, 0}, false},
        {24, S, I, RO, {8400}, false},
        {25, R, F, RW, {0.9, 10.7, 0.1, 1.8, 1.8}, true},
        {26, R, I, RW, {1, 255, 1, 255, 255}, true},
        {27, R, I, RW, {0, 254, 1, 0, 0}, true},
        {28, A, U, RW, {0}, false},
        {29, A, U, RW, {0}, false},
        {30, A, U, RW, {0}, false},
        {31, A, U, RW, {0}, false},
        {32, R, I, RW, {-127, 127, 1, 0, 0}, true},
        {33, S, B, RW, {0, 0}, false},
        {35, L, I, RW, {4, 0, 0}, false},
        {60, R, I, RW, {-100, 100, 1, 0, 0}, true},
        {220, S, I, RO, {2}, false},
        {230, S, I, RO, {0}, false},
        {231, S, I, RO, {0}, false},
        {232, S, I, RO, {0}, false},
        {1004, R, F, RW, {0, 0, 0.00001, 0, 0}, true},
        {1005, S, B, RW, {0, 0}, false},
        {1006, R, F, RW, {0, 0, 0.00001, 0, 0}, true},
        {1007, S, B, RW, {1, 1}, false},
        {1008, S, B, RW, {1, 1}, false},
        {1009, S, B, RW, {1, 1}, false},
        {1010, R, F, RW, {0, 100, 0.01, 100, 100}, false},
        {1011, R, F, RW, {0, 100, 0.01, 100, 100}, false},
        {1012, R, F, RW, {0, 100, 0.01, 100, 100}, false},
        {1020, R, I, RW, {0, 100, 1, 0, 0}, false},
        {1021, R, I, RW, {0, 100, 1, 0, 0}, false},
        {1022, R, I, RW, {0, 100, 1, 0, 0}, false},
        {1023, R, I, RW, {0, 100, 1, 0, 0}, false},
        {1030, R, F, RW, {0, 5, 0.001, 1, 1}, false},
        {1031, R, F, RW, {0, 5, 0.001, 1, 1}, false},
        {1032, R, F, RW, {0, 5, 0.001, 1, 1}, false},
        {1033, R, F, RW, {0, 5, 0.001, 1, 1}, false},
        {1040, R, I, RW, {0, 15, 1, 0, 0}, false},
        {1041, S, B, RW, {1, 1}, false},
        {1050, S, I, RO, {1}, false},
        {9000, R, F, RW, {0, 10, 0.001, 0.9, 0.9}, true},
        {9001, R, I, RW, {2, 510, 2, 16, 16}, true},
        {9010, S, I, RW, {0}, false},
        {9020, S, B, RW, {0, 0}, false},
    };
    return shapes;
}

double SlotValue(const SIProperty& r, size_t i) {
    return r.itemType == SI_TYPE_FLOAT ? static_cast<double>(FloatFromSlot(r.value[i])) : IntFromSlot(r.value[i]);
}

class CommonSet : public ::testing::TestWithParam<Shape> {};

TEST_P(CommonSet, HasItsCatalogueShapeAfterOpen) {
    const Shape& shape = GetParam();
    ModelStandIn model;
    model.ResetAll();
    Property* p = model.FindProperty(shape.id);
    ASSERT_NE(p, nullptr);
    SIProperty r{};
    ASSERT_TRUE(p->Get(&r));
    EXPECT_EQ(r.container, shape.container);
    EXPECT_EQ(r.itemType, shape.type);
    EXPECT_EQ(r.access, shape.access);
    for (size_t i = 0; i < shape.slots.size(); ++i) {
        EXPECT_NEAR(SlotValue(r, i), shape.slots[i], 1e-6) << "slot " << i;
    }
    if (shape.container == R) {
        // Save, change, restore: only saved ranges come back.
        p->SaveRestore(true);
        if (r.itemType == SI_TYPE_FLOAT) {
            const float before = p->GetFloat();
            p->SetFloat(before + 1.0f);
            p->SaveRestore(false);
            EXPECT_EQ(p->GetFloat() == before, shape.saved);
        } else {
            const int32_t before = p->GetInt();
            p->SetInt(before - 1);
            p->SaveRestore(false);
            EXPECT_EQ(p->GetInt() == before, shape.saved);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CommonSet, ::testing::ValuesIn(CommonShapes()),
                         [](const auto& param) { return "Id" + std::to_string(param.param.id); });

TEST(CommonSet, StringsAndPrefeedAreThere) {
    ModelStandIn model;
    for (uint16_t id : {SI_PROP_225, SI_PROP_227}) {
        Property* p = model.FindProperty(id);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->ItemType(), SI_TYPE_STRING);
        EXPECT_EQ(p->Access(), SI_ACCESS_READ_ONLY);
        EXPECT_EQ(p->GetString(), "");
    }
    EXPECT_EQ(model.FindProperty(SI_PROP_PREFEED_ENABLE), nullptr) << "only when the device keeps them";
    EXPECT_EQ(model.Properties().size(), CommonShapes().size() + 2);
}

// Who listens to whom in the common set.
TEST(CommonSet, ListenersAreExactlyTheCataloguesDependencies) {
    const std::map<uint16_t, std::set<uint16_t>> listensTo{
        {4, {5}},
        {5, {4}},
        {6, {8}},
        {7, {8}},
        {12, {2, 5, 24, 1041}},
        {13, {2, 3, 4}},
        {14, {2, 3, 4, 13}},
        {15, {2, 5, 12, 24, 1041}},
        {19, {14, 7}},
        {24, {1041}},
        {26, {27}},
        {27, {26}},
        {1006, {5, 8, 14}},
    };
    ModelStandIn model;
    std::map<uint16_t, std::set<uint16_t>> actual;
    for (const auto& [id, property] : model.Properties()) {
        for (const Property* listener : property->Listeners()) actual[listener->Id()].insert(id);
    }
    EXPECT_EQ(actual, listensTo);
}

TEST(CommonSet, DependantsFollow) {
    ModelStandIn model;
    model.ResetAll();
    auto& c = model.common;
    c.xResolution.SetInt(300);
    EXPECT_EQ(c.yResolution.GetInt(), 300);
    for (auto [mode, bpc, bpp] : {std::tuple{1, 8, 8}, std::tuple{0, 1, 1}, std::tuple{2, 8, 24}}) {
        c.colorMode.SetInt(mode);
        EXPECT_EQ(c.bitsPerChannel.GetInt(), bpc);
        EXPECT_EQ(c.bitsPerPixel.GetInt(), bpp);
    }
    c.xResolution.SetInt(100);
    c.colorMode.SetInt(0);
    EXPECT_EQ(c.widthInBytes.GetInt(), (864 + 7) / 8);
    c.xOffset.SetInt(100);
    EXPECT_EQ(c.scanWidth.Maximum(), 764);
    EXPECT_EQ(c.scanWidth.GetInt(), 764) << "lowered to the new maximum";
    EXPECT_EQ(c.scanWidth.GetDefaultInt(), 864);
}

TEST(CommonSet, LengthLimitRaisesTheOpticalLengthAndTheScanLength) {
    ModelStandIn model;
    model.ResetAll();
    auto& c = model.common;
    c.lengthLimit.SetInt(0);
    EXPECT_EQ(c.opticalLength.GetInt(), 1000000);
    EXPECT_EQ(c.scanLength.Maximum(), 100 * 1000000 / 600);
    c.lengthLimit.SetInt(1);
    EXPECT_EQ(c.opticalLength.GetInt(), 8400);
    EXPECT_EQ(c.yOffset.Maximum(), 1399);
}

TEST(CommonSet, OpticalLengthKeepsTheModelsValue) {
    ModelStandIn::Options o;
    o.opticalScanLength = 600 * 14 + 268;
    ModelStandIn model(o);
    model.ResetAll();
    EXPECT_EQ(model.common.opticalLength.GetInt(), 8668) << "not overwritten when the limit is wired";
    model.common.lengthLimit.SetInt(0);
    model.common.lengthLimit.SetInt(1);
    EXPECT_EQ(model.common.opticalLength.GetInt(), 8668);
    EXPECT_EQ(model.common.scanLength.Maximum(), 100 * 8668 / 600);
}

TEST(DuplexSet, ReplacesTheWidthAndAddsTheSensorDistance) {
    ModelStandIn::Options o;
    o.duplex = true;
    o.sensorPixels = 2592;
    ModelStandIn model(o);
    model.ResetAll();
    EXPECT_EQ(model.FindProperty(SI_PROP_1050)->GetInt(), 2);
    EXPECT_EQ(model.FindProperty(SI_PROP_OPTICAL_WIDTH)->GetInt(), 5184) << "both sides of the wide line";
    EXPECT_EQ(model.FindProperty(SI_PROP_1001)->GetInt(), 268);
    EXPECT_EQ(model.FindProperty(SI_PROP_CIS_VERTICAL_OFFSET)->GetInt(), 100 * 268 / 600);
    model.common.yResolution.SetInt(300);
    EXPECT_EQ(model.FindProperty(SI_PROP_CIS_VERTICAL_OFFSET)->GetInt(), 134);
}

TEST(FamilySet, RatesFollowTheModel) {
    ModelStandIn::Options o;
    o.family = true;
    ModelStandIn model(o);
    model.ResetAll();
    Property* scanRate = model.FindProperty(SI_PROP_SCAN_RATE);
    ASSERT_EQ(scanRate, &model.family.scanRate);
    SIProperty r{};
    scanRate->Get(&r);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[0]), 0.1f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[1]), 2.0f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[3]), 1.0f) << "the recommended rate";
    EXPECT_FLOAT_EQ(scanRate->GetFloat(), 1.0f);
    model.FindProperty(SI_PROP_1009)->SetInt(0);
    model.rateMaximum = 1.6f;
    EXPECT_FLOAT_EQ(scanRate->GetFloat(), 1.6f) << "default := maximum while 1009 is 0";
    Property* feedRate = model.FindProperty(SI_PROP_FEED_RATE);
    EXPECT_FLOAT_EQ(feedRate->GetFloat(), 1.5f);
    EXPECT_EQ(model.FindProperty(SI_PROP_MODEL_RESOLUTION)->GetInt(), 300);
    EXPECT_EQ(model.FindProperty(SI_PROP_DEVICE_NAME)->GetString(), "Model");
}

TEST(FamilySet, ThreeHundredDpiListsAndLength) {
    ModelStandIn::Options o;
    o.opticalDpi = 300;
    o.sensorPixels = 2592;
    o.ledFamily300 = true;
    ModelStandIn model(o);
    model.ResetAll();
    auto* x = dynamic_cast<ListInt*>(model.FindProperty(SI_PROP_X_RESOLUTION));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->Items().size(), 5u);
    EXPECT_EQ(x->Items().back(), 300);
    auto* length = dynamic_cast<RangeInt*>(model.FindProperty(SI_PROP_SCAN_LENGTH));
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->GetDefaultInt(), 100 * 3300 / 300);
    Property* led = model.FindProperty(SI_PROP_LED_2);
    ASSERT_NE(led, nullptr);
    SIProperty r{};
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_BOOL;
    EXPECT_FALSE(led->Set(&r)) << "no LED callback";
}

}  // namespace
