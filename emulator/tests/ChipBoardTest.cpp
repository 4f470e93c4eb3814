// The chip's GPIO registers on the board: read rules, the serial EEPROM
// bit-banged through the latches, paper and button events, the lamp gate.
#include "TransportDriver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

// GL841 board lines.
constexpr int kPaperLine = 1;
constexpr int kButtonLine = 2;
constexpr int kDoLine = 3;
constexpr int kDiLine = 4;
constexpr int kSkLine = 5;
constexpr int kCsLine = 6;

class ChipBoardTest : public DeviceTest {
protected:
    explicit ChipBoardTest(std::string board = "RM310-GL841", SwitchOverrides switches = {{"clock", "virtual"}})
        : DeviceTest(std::move(board), std::move(switches))
    {
    }

    void Latches(std::uint8_t low) { driver_.Set(0x6D, low); }
    bool Line(int line) { return (driver_.Get(0x6D) >> (line - 1)) & 1; }

    static std::uint8_t Bits(bool cs, bool sk, bool di)
    {
        return static_cast<std::uint8_t>((cs << (kCsLine - 1)) | (sk << (kSkLine - 1)) | (di << (kDiLine - 1)));
    }

    // Clocks one bit in; returns DO after the rising edge.
    bool Clock(bool di)
    {
        Latches(Bits(true, false, di));
        Latches(Bits(true, true, di));
        return Line(kDoLine);
    }

    std::uint16_t ReadWord(int address, bool toggleDirections)
    {
        const std::uint8_t outputs = Bits(true, true, true);
        driver_.Set(0x6F, outputs);
        Latches(Bits(true, false, false));
        Clock(true);  // start bit
        Clock(true);  // READ = 10
        Clock(false);
        bool dummy = true;
        for (int b = 5; b >= 0; --b)
            dummy = Clock((address >> b) & 1);
        EXPECT_FALSE(dummy);
        if (toggleDirections)
            driver_.Set(0x6F, 0);  // the EEPROM sees latches whatever the direction
        std::uint16_t word = 0;
        for (int b = 0; b < 16; ++b)
            word = static_cast<std::uint16_t>(word << 1 | Clock(false));
        Latches(0);  // CS low ends the read
        driver_.Set(0x6F, 0);
        return word;
    }
};

TEST_F(ChipBoardTest, EepromWordsReadByBitBanging)
{
    const auto words = scanner_.Eeprom();
    EXPECT_EQ(words[0], 0x17C4);
    EXPECT_EQ(words[1], 0x00F0);
    for (int address : {0, 1, 4, 6, 7, 29, 30, 31, 56, 57, 63})
        EXPECT_EQ(ReadWord(address, address % 2 == 1), words[address]) << address;
}

// A board whose EEPROM was never written: every word, inspected or read over
// the wire, is 0xFFFF, on both chips.
class BlankEepromTest : public ChipBoardTest {
protected:
    BlankEepromTest() : ChipBoardTest("RM310-GL841", {{"clock", "virtual"}, {"eeprom", "blank"}}) {}
};

TEST_F(BlankEepromTest, EveryWordReadsAllOnes)
{
    for (std::uint16_t word : scanner_.Eeprom())
        EXPECT_EQ(word, 0xFFFF);
    for (int address : {0, 1, 4, 6, 7, 31, 56, 57, 63})
        EXPECT_EQ(ReadWord(address, false), 0xFFFF) << address;
    EXPECT_EQ(VirtualScanner("RM310-GL125", {{"eeprom", "blank"}}).Eeprom()[56], 0xFFFF);
    EXPECT_EQ(VirtualScanner("RM310-GL125").Eeprom()[56], 0x520B);
}

TEST_F(ChipBoardTest, GpioReadRules)
{
    // Inputs at rest: no paper (1), button up (1); power sense 0 with external power.
    EXPECT_TRUE(Line(kPaperLine));
    EXPECT_TRUE(Line(kButtonLine));
    EXPECT_FALSE((driver_.Get(0x6C) >> (11 - 9)) & 1);
    scanner_.Press();
    EXPECT_FALSE(Line(kButtonLine));
    scanner_.Release();
    // An unwired input reads its latch; an output reads its latch.
    driver_.Set(0x6D, 0x80);
    EXPECT_TRUE(Line(8));
    driver_.Set(0x6E, 0x10);
    driver_.Set(0x6C, 0x10);
    EXPECT_TRUE((driver_.Get(0x6C) >> 4) & 1);
    EXPECT_EQ(scanner_.Gpio().directions & (1u << 12), 1u << 12);
    EXPECT_FALSE(scanner_.GpioHistory().empty());
}

TEST_F(ChipBoardTest, SheetArrivalAndDepartureRaiseEvents)
{
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1ms);
    EXPECT_FALSE(Line(kPaperLine));
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1)).data, std::vector<std::uint8_t>{1});

    // Eject: 11 in of sheet and 1.5 in to the exit at 600 steps per inch.
    const std::uint32_t word = 0x8000 + 3 * 0x200;
    driver_.Write({{0x2A, static_cast<std::uint8_t>(word / 16 >> 8)}, {0x2B, static_cast<std::uint8_t>(word / 16)}});
    driver_.Upload(0x3C, {0xE8, 0x03, 0xE8, 0x03});
    driver_.Set(0x6A, 1);
    driver_.SetField(0x3D, 3, 7600);  // past the exit at 1.5 in
    driver_.Set(0x02, 0x10);
    driver_.Set(0x01, 0x40);
    driver_.Set(0x0F, 1);
    scanner_.AdvanceClock(20s);
    EXPECT_TRUE(Line(kPaperLine));
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1)).data, std::vector<std::uint8_t>{0});
    EXPECT_EQ(scanner_.Paper().departed.size(), 1u);
}

}  // namespace
}  // namespace emulator::testing
