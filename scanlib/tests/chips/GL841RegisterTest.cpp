#include "chips/GL841.h"
#include "RecordingPort.h"

#include <gtest/gtest.h>

namespace {

class GL841RegisterTest : public ::testing::Test {
protected:
    RecordingPort port;
    GL841 chip{nullptr, &port, false};
};

struct PackCase {
    unsigned field;
    uint32_t value;
    std::vector<std::pair<uint8_t, uint8_t>> before;  // shadow contents first
    std::vector<std::pair<uint8_t, uint8_t>> after;   // expected shadow bytes
};

class FieldPackingTest : public GL841RegisterTest, public ::testing::WithParamInterface<PackCase> {};

TEST_P(FieldPackingTest, MergesIntoTheShadowAndReadsBack) {
    const PackCase& c = GetParam();
    for (auto [reg, value] : c.before) {
        ASSERT_TRUE(chip.WriteRegister(reg, value));
    }
    port.Take();
    ASSERT_TRUE(chip.SetField(c.field, c.value, false));
    EXPECT_TRUE(port.Take().empty()) << "a deferred field sends nothing";
    for (auto [reg, value] : c.after) {
        EXPECT_EQ(chip.RegisterValue(reg), value) << "register " << int(reg);
        EXPECT_TRUE(chip.IsRegisterDirty(reg));
    }
    const uint32_t mask = kGL841Fields[c.field].Mask() >> kGL841Fields[c.field].shift;
    EXPECT_EQ(chip.ReadField(c.field, false), c.value & mask);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FieldPackingTest,
    ::testing::Values(
        // LineCount: top 4 bits in 0x25 with its upper nibble kept, then 0x26, 0x27.
        PackCase{LineCount, 0xABCDE, {{0x25, 0xF0}}, {{0x25, 0xFA}, {0x26, 0xBC}, {0x27, 0xDE}}},
        PackCase{LineCount, 0x1FFFFF, {{0x25, 0x50}}, {{0x25, 0x5F}, {0x26, 0xFF}, {0x27, 0xFF}}},
        // Shifted fields keep their neighbours.
        PackCase{ChannelLayout, 1, {{0x04, 0xFF}}, {{0x04, 0xF7}}},
        PackCase{MotorMode, 3, {{0x1E, 0x0F}}, {{0x1E, 0x3F}}},
        PackCase{ChipDpiClassFlag, 1, {{0x05, 0x08}}, {{0x05, 0x48}}},
        PackCase{ScanEnable, 0, {{0x01, 0xFF}}, {{0x01, 0xFE}}},
        PackCase{ColorSelect, 1, {{0x87, 0x04}}, {{0x87, 0x14}}},
        // Multi-register fields, most significant byte first.
        PackCase{MemoryAddress, 0x1234, {}, {{0x2A, 0x12}, {0x2B, 0x34}}},
        PackCase{ResolutionSetting, 0xFFF, {{0x2C, 0xF0}}, {{0x2C, 0xFF}, {0x2D, 0xFF}}},
        PackCase{GammaAddress, 0x200, {{0x5B, 0xFC}}, {{0x5B, 0xFE}, {0x5C, 0x00}}},
        PackCase{FeedSteps, 0x12345, {}, {{0x3D, 0x01}, {0x3E, 0x23}, {0x3F, 0x45}}},
        PackCase{ExposureBlue, 0xBEEF, {}, {{0x14, 0xBE}, {0x15, 0xEF}}}));

TEST_F(GL841RegisterTest, FieldWrittenAtOnceGoesFromTheLastRegisterDown) {
    ASSERT_TRUE(chip.SetField(LineCount, 0x12345, true));
    EXPECT_EQ(port.Take(), (std::vector<PortRequest>{Out(0x83, {0x27, 0x45}), Out(0x83, {0x26, 0x23}),
                                                      Out(0x83, {0x25, 0x01})}));
    EXPECT_FALSE(chip.IsRegisterDirty(0x25));
    EXPECT_TRUE(port.allLocked);
}

TEST_F(GL841RegisterTest, FailedWriteLeavesTheShadowUnchanged) {
    ASSERT_TRUE(chip.WriteRegister(0x01, 0x80));
    port.Take();
    port.failAt = 0;
    EXPECT_FALSE(chip.SetField(ShadingEnable, 1, true));
    EXPECT_EQ(chip.RegisterValue(0x01), 0x80);
    EXPECT_EQ(chip.ReadField(ShadingEnable, false), 0u);
}

TEST_F(GL841RegisterTest, FlushSendsDirtyRegistersInAddressOrderThreePairsAtATime) {
    chip.SetField(LinePeriod, 0x0203, false);  // 0x38, 0x39
    chip.SetField(ScanEnable, 1, false);       // 0x01
    chip.SetField(MonoSelect, 1, false);       // 0x87
    chip.SetField(LineStartOffset, 7, false);  // 0x34
    ASSERT_TRUE(chip.FlushRegisters());
    EXPECT_EQ(port.Take(), (std::vector<PortRequest>{Out(0x83, {0x01, 0x01, 0x34, 0x07, 0x38, 0x02}),
                                                      Out(0x83, {0x39, 0x03, 0x87, 0x04})}));
    EXPECT_TRUE(chip.FlushRegisters());
    EXPECT_TRUE(port.Take().empty()) << "nothing left dirty";
}

TEST_F(GL841RegisterTest, FailedFlushStillClearsTheDirtyFlags) {
    chip.SetField(ExposureLead, 50, false);
    port.failAt = 0;
    EXPECT_FALSE(chip.FlushRegisters());
    EXPECT_FALSE(chip.IsRegisterDirty(0x19));
}

TEST_F(GL841RegisterTest, ReadFieldFromTheChipRefreshesEachRegister) {
    port.chip[0x4C] = 0x01;
    port.chip[0x4D] = 0x2C;
    EXPECT_EQ(chip.ReadField(LinesScanned, true), 300u);
    EXPECT_EQ(port.Take(), (std::vector<PortRequest>{Select(0x4C), In(0x84), Select(0x4D), In(0x84)}));
}

TEST_F(GL841RegisterTest, ClosedPortSendsNothingAndAnswersFromTheShadow) {
    chip.SetField(LinesScanned, 9, false);
    port.open = false;
    EXPECT_EQ(chip.ReadField(LinesScanned, true), 9u);
    EXPECT_FALSE(chip.WriteRegister(0x01, 1));
    EXPECT_FALSE(chip.FlushRegisters());
    EXPECT_EQ(chip.ReadStatus(), 0);
    EXPECT_EQ(chip.GetBulkPacketSize(), 0);
    EXPECT_FALSE(chip.IsMotorBusy());
    EXPECT_EQ(chip.GetLinesScanned(), 0);
    EXPECT_TRUE(chip.SetClock(30000000));
    uint8_t data[4] = {};
    EXPECT_FALSE(chip.BulkIO(true, GL841Memory::Shading, 0, data, sizeof data));
    EXPECT_TRUE(port.log.empty());
}

TEST_F(GL841RegisterTest, UnusedFieldsAreRefused) {
    EXPECT_FALSE(chip.SetField(1, 1, false));
    EXPECT_FALSE(chip.SetField(kGL841FieldCount, 1, false));
    EXPECT_EQ(chip.ReadField(2, true), 0u);
    EXPECT_TRUE(port.log.empty());
}

}  // namespace
