// Get and Set rules of the container classes.
#include "PropertyTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr std::array<int32_t, 3> kItems{75, 100, 150};

struct IntSetCase {
    const char* name;
    std::function<std::unique_ptr<Property>()> make;
    SIProperty record;
    bool accepted;
    int32_t valueAfter;
};

std::unique_ptr<Property> MakeRange(uint16_t access = SI_ACCESS_READ_WRITE) {
    return std::make_unique<RangeInt>(9001, access, 2, 510, 2, 16, true);
}
std::unique_ptr<Property> MakeList() { return std::make_unique<ListInt>(4, SI_ACCESS_READ_WRITE, kItems, 100); }
std::unique_ptr<Property> MakeEmptyList() {
    return std::make_unique<ListInt>(4, SI_ACCESS_READ_WRITE, std::span<const int32_t>{}, 0);
}
std::unique_ptr<Property> MakeBool() { return std::make_unique<SingleBool>(33, SI_ACCESS_READ_WRITE, 0); }
std::unique_ptr<Property> MakeSingle(uint16_t access = SI_ACCESS_READ_WRITE) {
    return std::make_unique<SingleInt>(9010, access, 5);
}

SIProperty WithType(SIProperty r, uint16_t type) {
    r.itemType = type;
    return r;
}

class IntSetRules : public ::testing::TestWithParam<IntSetCase> {};

TEST_P(IntSetRules, AcceptsOrRefuses) {
    const IntSetCase& c = GetParam();
    auto p = c.make();
    EXPECT_EQ(p->Set(&c.record), c.accepted);
    EXPECT_EQ(p->GetInt(), c.valueAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, IntSetRules,
    ::testing::Values(
        IntSetCase{"RangeOffGrid", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_SINGLE, 3), false, 16},
        IntSetCase{"RangeOnGrid", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_SINGLE, 4), true, 4},
        IntSetCase{"RangeByRangeRecord", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_RANGE, 0, 0, 510), true,
                   510},
        IntSetCase{"RangeAboveMaximum", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_SINGLE, 512), false, 16},
        IntSetCase{"RangeBelowMinimum", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_SINGLE, 0), false, 16},
        IntSetCase{"RangeListRecord", [] { return MakeRange(); }, IntRecord(SI_CONTAINER_LIST, 4, 4), false, 16},
        IntSetCase{"RangeWrongType", [] { return MakeRange(); },
                   WithType(IntRecord(SI_CONTAINER_SINGLE, 4), SI_TYPE_BOOL), false, 16},
        IntSetCase{"RangeReadOnly", [] { return MakeRange(SI_ACCESS_READ_ONLY); }, IntRecord(SI_CONTAINER_SINGLE, 4),
                   false, 16},
        IntSetCase{"ListListed", [] { return MakeList(); }, IntRecord(SI_CONTAINER_SINGLE, 150), true, 150},
        IntSetCase{"ListNotListed", [] { return MakeList(); }, IntRecord(SI_CONTAINER_SINGLE, 120), false, 100},
        IntSetCase{"ListByListRecordTakesSlot1", [] { return MakeList(); }, IntRecord(SI_CONTAINER_LIST, 120, 75),
                   true, 75},
        IntSetCase{"ListRangeRecord", [] { return MakeList(); }, IntRecord(SI_CONTAINER_RANGE, 75, 75, 75), false,
                   100},
        IntSetCase{"EmptyListAcceptsNothing", [] { return MakeEmptyList(); }, IntRecord(SI_CONTAINER_SINGLE, 0),
                   false, 0},
        IntSetCase{"BoolOne", [] { return MakeBool(); }, BoolRecord(1), true, 1},
        IntSetCase{"BoolTwo", [] { return MakeBool(); }, BoolRecord(2), false, 0},
        IntSetCase{"BoolAsInt", [] { return MakeBool(); }, IntRecord(SI_CONTAINER_SINGLE, 1), false, 0},
        IntSetCase{"SingleInt", [] { return MakeSingle(); }, IntRecord(SI_CONTAINER_SINGLE, -7), true, -7},
        IntSetCase{"SingleIntRangeRecord", [] { return MakeSingle(); }, IntRecord(SI_CONTAINER_RANGE, 1, 1, 1),
                   false, 5},
        IntSetCase{"SingleIntReadOnly", [] { return MakeSingle(SI_ACCESS_READ_ONLY); },
                   IntRecord(SI_CONTAINER_SINGLE, 1), false, 5}),
    CaseName());

struct FloatCase {
    const char* name;
    uint16_t container;
    float given;
    bool accepted;
    float stored;
};

class FloatSnapping : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatSnapping, SnapsLimitsOrRefuses) {
    const FloatCase& c = GetParam();
    RangeFloat gamma(25, SI_ACCESS_READ_WRITE, 0.9f, 10.7f, 0.1f, 1.8f, true);
    SIProperty r = FloatRecord(c.container, c.given);
    EXPECT_EQ(gamma.Set(&r), c.accepted);
    EXPECT_FLOAT_EQ(gamma.GetFloat(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Gamma, FloatSnapping,
                         ::testing::Values(FloatCase{"DownToGrid", SI_CONTAINER_SINGLE, 2.34f, true, 2.3f},
                                           FloatCase{"UpToGrid", SI_CONTAINER_RANGE, 2.36f, true, 2.4f},
                                           FloatCase{"LimitedToMaximum", SI_CONTAINER_SINGLE, 10.74f, true, 10.7f},
                                           FloatCase{"LimitedToMinimum", SI_CONTAINER_RANGE, 0.86f, true, 0.9f},
                                           FloatCase{"FarAbove", SI_CONTAINER_SINGLE, 10.9f, false, 1.8f},
                                           FloatCase{"FarBelow", SI_CONTAINER_SINGLE, 0.8f, false, 1.8f}),
                         CaseName());

TEST(RangeFloat, SetFloatSnapsWithoutLimits) {
    RangeFloat p(25, SI_ACCESS_READ_WRITE, 0.9f, 10.7f, 0.1f, 1.8f, true);
    EXPECT_TRUE(p.SetFloat(12.34f));
    EXPECT_NEAR(p.GetFloat(), 12.3f, 1e-5f);
    EXPECT_TRUE(p.SetFloat(0.1f));  // below the grid: kept as given
    EXPECT_FLOAT_EQ(p.GetFloat(), 0.1f);
}

TEST(RangeFloat, GetFillsTheFiveSlots) {
    RangeFloat p(1010, SI_ACCESS_READ_WRITE, 0.0f, 100.0f, 0.01f, 100.0f, false);
    SIProperty r{};
    ASSERT_TRUE(p.Get(&r));
    EXPECT_EQ(r.container, SI_CONTAINER_RANGE);
    EXPECT_EQ(r.itemType, SI_TYPE_FLOAT);
    EXPECT_EQ(r.access, SI_ACCESS_READ_WRITE);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[0]), 0.0f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[1]), 100.0f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[2]), 0.01f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[3]), 100.0f);
    EXPECT_FLOAT_EQ(FloatFromSlot(r.value[4]), 100.0f);
}

TEST(ListInt, GetGivesCountCurrentDefaultAndItems) {
    ListInt p(4, SI_ACCESS_READ_WRITE, kItems, 100);
    SIProperty r{};
    ASSERT_TRUE(p.Get(&r));
    EXPECT_EQ(r.container, SI_CONTAINER_LIST);
    EXPECT_EQ(IntFromSlot(r.value[0]), 3);
    EXPECT_EQ(IntFromSlot(r.value[1]), 100);
    EXPECT_EQ(IntFromSlot(r.value[2]), 100);
    const auto* items = PointerFromSlot<const int32_t>(r.value[3]);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(items[2], 150);
}

TEST(RangeInt, NegativeValuesTravelInTheLow32Bits) {
    RangeInt p(9, SI_ACCESS_READ_WRITE, -100, 100, 1, 0, true);
    SIProperty r = IntRecord(SI_CONTAINER_SINGLE, -100);
    ASSERT_TRUE(p.Set(&r));
    SIProperty out{};
    p.Get(&out);
    EXPECT_EQ(out.value[0], SlotFromInt(-100));
    EXPECT_EQ(out.value[0] >> 16 >> 16, 0u);  // upper half clear in the 64-bit build
    EXPECT_EQ(IntFromSlot(out.value[4]), -100);
}

TEST(SingleString, SetCopiesTheTextAndRefusesNull) {
    SingleString p(200, SI_ACCESS_READ_WRITE, "C:\\");
    SIProperty r{};
    r.container = SI_CONTAINER_SINGLE;
    r.itemType = SI_TYPE_STRING;
    EXPECT_FALSE(p.Set(&r));
    std::string text = "D:\\Data";
    r.value[0] = SlotFromPointer(text.c_str());
    EXPECT_TRUE(p.Set(&r));
    text[0] = 'X';
    EXPECT_EQ(p.GetString(), "D:\\Data");
    SIProperty out{};
    p.Get(&out);
    EXPECT_STREQ(PointerFromSlot<const char>(out.value[0]), "D:\\Data");
    EXPECT_EQ(out.value[0], out.value[1]);
}

TEST(ArrayUnsignedShort, TakesOnlyFullTablesOrNone) {
    ArrayUnsignedShort lut(28, SI_ACCESS_READ_WRITE);
    std::vector<uint16_t> table(256);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint16_t>(i * 257);
    SIProperty r{};
    r.container = SI_CONTAINER_ARRAY;
    r.itemType = SI_TYPE_UINT16;
    r.value[1] = SlotFromPointer(table.data());

    r.value[0] = 100;
    EXPECT_FALSE(lut.Set(&r));
    r.value[0] = 256;
    r.value[1] = 0;
    EXPECT_FALSE(lut.Set(&r)) << "a null table is refused";
    r.value[1] = SlotFromPointer(table.data());
    EXPECT_TRUE(lut.Set(&r));
    ASSERT_EQ(lut.Table().size(), 256u);
    EXPECT_EQ(lut.Table()[255], 65535);

    SIProperty out{};
    lut.Get(&out);
    EXPECT_EQ(out.value[0], 256u);
    EXPECT_NE(out.value[1], SlotFromPointer(table.data())) << "the property keeps its own copy";

    r.value[0] = 0;
    EXPECT_TRUE(lut.Set(&r));
    lut.Get(&out);
    EXPECT_EQ(out.value[0], 0u);
    EXPECT_EQ(out.value[1], 0u);
}

TEST(Property, SetAndGetIgnoreNullRecords) {
    RangeInt p(9, SI_ACCESS_READ_WRITE, -100, 100, 1, 0, true);
    EXPECT_FALSE(p.Set(nullptr));
    EXPECT_TRUE(p.Get(nullptr));
}

TEST(Property, SetIntBypassesTheContainerChecks) {
    RangeInt range(12, SI_ACCESS_READ_ONLY, 0, 10, 1, 0, true);
    EXPECT_TRUE(range.SetInt(99));
    EXPECT_EQ(range.GetInt(), 99);
    SingleBool flag(33, SI_ACCESS_READ_WRITE, 0);
    EXPECT_FALSE(flag.SetInt(2));
    EXPECT_EQ(flag.GetInt(), 0);
}

}  // namespace
