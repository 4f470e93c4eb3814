// The analog front end: register file, transfer and channel per chip line.
#include "../src/analog/FrontEnd.h"

#include <gtest/gtest.h>

namespace emulator {
namespace {

class AfeTest : public ::testing::Test {
protected:
    void Set(std::uint8_t address, std::uint16_t value) { afe_.Write(address, value, DeviceTime{7}); }

    DeviceLogsStore logs_;
    FrontEnd afe_{logs_, {1, 2, 0}};
};

TEST_F(AfeTest, GainCurve)
{
    EXPECT_NEAR(FrontEnd::Gain(0), 0.735, 0.0005);
    EXPECT_DOUBLE_EQ(FrontEnd::Gain(75), 1.0);
    EXPECT_NEAR(FrontEnd::Gain(255), 7.43, 0.002);
}

TEST_F(AfeTest, Transfer)
{
    struct Case {
        double signal;
        int vref, offset, gain;
        std::uint16_t out;
    };
    const Case cases[] = {
        {100, 0, 128, 75, 25600},
        {100, 2, 134, 75, 11533},   // 256 · (100 − 56 + 1.05)
        {50, 0, 0, 0, 5193},        // 208/283 · (50 − 22.4)
        {50, 0, 255, 179, 36979},   // 2 · (50 + 22.225)
        {100, 0, 128, 255, 65535},  // clamped high
        {10, 1, 128, 75, 0},        // clamped low
    };
    for (const Case& c : cases) {
        Set(3, static_cast<std::uint16_t>(c.vref));
        Set(0x21, static_cast<std::uint16_t>(c.offset));
        Set(0x29, static_cast<std::uint16_t>(c.gain));
        EXPECT_EQ(afe_.Transfer(c.signal, 1), c.out) << c.signal << " " << c.vref << " " << c.offset << " " << c.gain;
    }
    // Channel 0 keeps its reset offset 0 and gain 0: 208/283 · (100 − 28 − 22.4).
    EXPECT_EQ(afe_.Transfer(100, 0), 9333);
}

TEST_F(AfeTest, ChannelPerChipLine)
{
    struct Case {
        int mode;
        bool mono;
        int colour;
        int channel;
    };
    const Case cases[] = {
        {7, false, 0, 1}, {7, false, 1, 2}, {7, false, 2, 0}, {7, true, 0, 0},
        {5, false, 0, 0}, {5, false, 1, 0}, {5, false, 2, 0}, {5, true, 0, 0},
    };
    for (const Case& c : cases) {
        Set(6, static_cast<std::uint16_t>(c.mode));
        EXPECT_EQ(afe_.Channel(c.colour, c.mono), c.channel) << c.mode << " " << c.mono << " " << c.colour;
    }
    FrontEnd straight(logs_, {0, 1, 2});
    straight.Write(6, 7, {});
    EXPECT_EQ(straight.Channel(2, false), 2);
}

TEST_F(AfeTest, ScanStartChecksTheMode)
{
    struct Case {
        int mode;
        bool mono;
        const char* rule;  // nullptr: nothing logged
    };
    const Case cases[] = {{7, false, nullptr}, {5, true, nullptr}, {5, false, nullptr},
                          {7, true, "A3"},     {0, false, "A2"},   {3, true, "A2"}};
    for (const Case& c : cases) {
        logs_.Clear();
        Set(6, static_cast<std::uint16_t>(c.mode));
        afe_.ScanStarting(c.mono);
        if (c.rule == nullptr) {
            EXPECT_TRUE(logs_.Violations().empty()) << c.mode;
        } else {
            ASSERT_EQ(logs_.Violations().size(), 1u) << c.mode;
            EXPECT_EQ(logs_.Violations()[0].rule, c.rule);
        }
    }
    // An unprogrammed mode digitises in colour.
    Set(6, 0);
    EXPECT_EQ(afe_.Channel(0, false), 1);
}

TEST_F(AfeTest, ResetHighByteAndRecords)
{
    Set(0x20, 0x80);
    Set(0x28, 0x0133);  // high byte: A1, low byte used
    EXPECT_EQ(afe_.Register(0x28), 0x33);
    ASSERT_EQ(logs_.Violations().size(), 1u);
    EXPECT_EQ(logs_.Violations()[0].rule, "A1");
    Set(5, 0);
    Set(1, 0x23);
    Set(0x21, 9);
    ASSERT_EQ(afe_.Records().size(), 2u);
    EXPECT_EQ(afe_.Records()[0].address, 5);
    EXPECT_EQ(afe_.Records()[1].value, 0x23);
    EXPECT_EQ(afe_.Records()[1].time, DeviceTime{7});
    Set(4, 0x55);  // any write of register 4 resets the file
    for (std::uint8_t value : afe_.Registers())
        EXPECT_EQ(value, 0);
}

} // namespace
} // namespace emulator
