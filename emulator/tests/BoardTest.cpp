// Board table, EEPROM contents, GPIO read rules and the serial EEPROM.
#include "../src/board/BoardEeprom.h"
#include "../src/board/BoardGpio.h"
#include "../src/board/BoardProfile.h"
#include "../src/board/SerialEeprom.h"

#include <gtest/gtest.h>

#include <map>

namespace emulator {
namespace {

struct EepromCase {
    const char* board;
    std::map<int, std::uint16_t> words;  // every other word is 0xFFFF
};

const EepromCase kEepromCases[] = {
    {"RM310-GL841", {{0, 0x17C4}, {1, 0x00F0}, {4, 0x0101}, {6, 0x0520}, {7, 0x2101},
                     {31, 0x1350}, {30, 0x0001}, {29, 0x10FF},
                     {56, 0x520B}, {57, 0x334D}, {58, 0x3031}, {59, 0x472D}, {60, 0x384C}, {61, 0x3134}}},
    {"RM310-GL125", {{0, 0x17C4}, {1, 0x00F2}, {4, 0x0102}, {6, 0x0620}, {7, 0x2011},
                     {31, 0x1352}, {30, 0x0001}, {29, 0x20FF},
                     {56, 0x520B}, {57, 0x334D}, {58, 0x3031}, {59, 0x472D}, {60, 0x314C}, {61, 0x3532}}},
    {"RM410", {{0, 0x17C4}, {1, 0x00F1}, {4, 0x0201}, {6, 0x0520}, {7, 0x2110},
               {31, 0x1450}, {30, 0x0001}, {29, 0x30FF}, {56, 0x5205}, {57, 0x344D}, {58, 0x3031}}},
    {"RM1100", {{0, 0x1F63}, {1, 0x4800}, {4, 0x0202}, {6, 0x0520}, {7, 0x2110},
                {31, 0x1150}, {30, 0x0001}, {29, 0x40FF},
                {56, 0x5206}, {57, 0x314D}, {58, 0x3031}, {59, 0xFF30}}},
    {"RM460", {{0, 0x17C4}, {1, 0x4811}, {4, 0x0301}, {6, 0x0620}, {7, 0x2011},
               {31, 0x6450}, {30, 0x0001}, {29, 0x50FF}, {56, 0x5205}, {57, 0x344D}, {58, 0x3036}}},
};

TEST(BoardEeprom, EveryWordOfEveryBoard)
{
    for (const EepromCase& c : kEepromCases) {
        const auto board = FindBoard(c.board);
        ASSERT_TRUE(board) << c.board;
        const EepromWords words = MakeEepromWords(*board);
        for (int w = 0; w < 64; ++w) {
            const auto it = c.words.find(w);
            EXPECT_EQ(words[w], it == c.words.end() ? 0xFFFF : it->second) << c.board << " word " << w;
        }
    }
}

TEST(BoardEeprom, VersionVariantsAndBlank)
{
    BoardProfile board = *FindBoard("RM410");
    const std::pair<std::uint32_t, std::pair<std::uint16_t, std::uint16_t>> versions[] = {
        {0x20041020, {0x0420, 0x2010}}, {0x20041021, {0x0420, 0x2110}},
        {0x20050120, {0x0520, 0x2001}}, {0x20051020, {0x0520, 0x2010}}};
    for (const auto& [version, expected] : versions) {
        board.boardVersion = version;
        const EepromWords words = MakeEepromWords(board);
        EXPECT_EQ(words[6], expected.first) << std::hex << version;
        EXPECT_EQ(words[7], expected.second) << std::hex << version;
    }
    board.eepromBlank = true;
    for (std::uint16_t w : MakeEepromWords(board))
        EXPECT_EQ(w, 0xFFFF);
}

TEST(BoardProfile, VersionDependentMotorAndSignalLine)
{
    BoardProfile rm410 = *FindBoard("RM410");
    EXPECT_DOUBLE_EQ(rm410.MotorStepsPerInch(), 609.4);
    rm410.boardVersion = 0x20051020;
    EXPECT_DOUBLE_EQ(rm410.MotorStepsPerInch(), 600.0);
    EXPECT_EQ(rm410.SignalBLine(), 12);
    rm410.boardVersion = 0x20050120;
    EXPECT_EQ(rm410.SignalBLine(), 8);

    BoardProfile rm310 = *FindBoard("RM310-GL841");
    EXPECT_DOUBLE_EQ(rm310.MotorStepsPerInch(), 600.0);
    EXPECT_EQ(rm310.FirstActivePosition(), 27);
    EXPECT_FALSE(FindBoard("RM999"));
}

class GpioTest : public ::testing::Test {
protected:
    BoardProfile board_ = *FindBoard("RM310-GL841");
    DeviceLogsStore logs_;
    BoardGpio gpio_{board_, logs_};
};

TEST_F(GpioTest, ReadRules)
{
    // Paper sensor (1) wired low, line 7 unwired; line 8 an output.
    gpio_.SetExternal(1, false);
    gpio_.Set(BoardGpio::Mask(8), BoardGpio::Mask(7) | BoardGpio::Mask(8) | BoardGpio::Mask(1), DeviceTime{5});
    const std::uint32_t levels = gpio_.Levels();
    EXPECT_FALSE(BoardGpio::Bit(levels, 1));  // wired input: external level despite latch 1
    EXPECT_TRUE(BoardGpio::Bit(levels, 2));   // button up: high
    EXPECT_TRUE(BoardGpio::Bit(levels, 7));   // unwired input: its latch
    EXPECT_TRUE(BoardGpio::Bit(levels, 8));   // output: its latch
    EXPECT_TRUE(logs_.Observations().empty());

    // The wired input made an output reads its latch and is observed.
    gpio_.Set(BoardGpio::Mask(1) | BoardGpio::Mask(8), BoardGpio::Mask(1), DeviceTime{9});
    EXPECT_TRUE(BoardGpio::Bit(gpio_.Levels(), 1));
    EXPECT_FALSE(BoardGpio::Bit(gpio_.Levels(), 8));
    ASSERT_EQ(logs_.Observations().size(), 1u);
    EXPECT_EQ(logs_.Observations()[0].id, "O6");
    EXPECT_TRUE(logs_.Violations().empty());
}

TEST_F(GpioTest, RecordsEveryChangeWithItsTime)
{
    gpio_.Set(BoardGpio::Mask(13), 0, DeviceTime{100});
    gpio_.Set(BoardGpio::Mask(13), BoardGpio::Mask(13) | BoardGpio::Mask(17), DeviceTime{200});
    gpio_.Set(BoardGpio::Mask(13), BoardGpio::Mask(13) | BoardGpio::Mask(17), DeviceTime{300});
    const auto& h = gpio_.History();
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].time, DeviceTime{100});
    EXPECT_EQ(h[0].line, 13u);
    EXPECT_TRUE(h[0].direction);
    EXPECT_EQ(h[1].line, 13u);
    EXPECT_FALSE(h[1].direction);
    EXPECT_TRUE(h[1].value);
    EXPECT_EQ(h[2].line, 17u);
    gpio_.Reset();
    EXPECT_EQ(gpio_.Directions(), 0u);
    EXPECT_EQ(gpio_.Latches(), 0u);
}

// Bit-bangs the EEPROM through the GPIO lines as a host would, toggling the
// directions of CS, SK and DI between phases: the memory sees latches only.
class EepromBus {
public:
    EepromBus(const BoardProfile& board, DeviceLogsStore& logs, bool writable = false)
        : wiring_(board.wiring), gpio_(board, logs), eeprom_(MakeEepromWords(board), logs, writable)
    {
    }

    void Set(int line, bool level)
    {
        latches_ = level ? latches_ | BoardGpio::Mask(line) : latches_ & ~BoardGpio::Mask(line);
        Apply();
    }
    void ToggleDirections()
    {
        directions_ ^= BoardGpio::Mask(wiring_.eepromCs) | BoardGpio::Mask(wiring_.eepromSk) |
                       BoardGpio::Mask(wiring_.eepromDi);
        Apply();
    }
    void Clock(bool di)
    {
        Set(wiring_.eepromDi, di);
        Set(wiring_.eepromSk, true);
        Set(wiring_.eepromSk, false);
    }
    bool Do() const { return BoardGpio::Bit(gpio_.Levels(), wiring_.eepromDo); }

    void Command(unsigned opcode, unsigned address)
    {
        Set(wiring_.eepromCs, true);
        ToggleDirections();
        Clock(false);  // a leading 0 is skipped
        Clock(true);
        for (int b = 1; b >= 0; --b)
            Clock(((opcode >> b) & 1) != 0);
        ToggleDirections();
        for (int b = 5; b >= 0; --b)
            Clock(((address >> b) & 1) != 0);
    }
    std::uint16_t ReadWord()
    {
        std::uint16_t word = 0;
        for (int b = 0; b < 16; ++b) {
            Clock(false);
            word = static_cast<std::uint16_t>((word << 1) | (Do() ? 1 : 0));
        }
        return word;
    }
    void Deselect() { Set(wiring_.eepromCs, false); }
    const SerialEeprom& Memory() const { return eeprom_; }

private:
    void Apply()
    {
        gpio_.Set(directions_, latches_, DeviceTime{});
        eeprom_.Drive(gpio_.Latch(wiring_.eepromCs), gpio_.Latch(wiring_.eepromSk), gpio_.Latch(wiring_.eepromDi));
        gpio_.SetExternal(wiring_.eepromDo, eeprom_.DataOut());
    }

    GpioWiring wiring_;
    BoardGpio gpio_;
    SerialEeprom eeprom_;
    std::uint32_t directions_ = BoardGpio::Mask(6) | BoardGpio::Mask(5) | BoardGpio::Mask(4);
    std::uint32_t latches_ = 0;
};

TEST(SerialEeprom, EveryWordByBitBanging)
{
    for (const char* name : {"RM310-GL841", "RM410", "RM1100"}) {
        const BoardProfile board = *FindBoard(name);
        DeviceLogsStore logs;
        EepromBus bus(board, logs);
        const EepromWords expected = MakeEepromWords(board);
        for (unsigned address = 0; address < 64; ++address) {
            bus.Command(0b10, address);
            EXPECT_FALSE(bus.Do()) << "dummy bit";
            EXPECT_EQ(bus.ReadWord(), expected[address]) << name << " word " << address;
            bus.Deselect();
            EXPECT_TRUE(bus.Do());
        }
        EXPECT_TRUE(logs.Violations().empty());
    }
}

TEST(SerialEeprom, SequentialReadWrapsToWordZero)
{
    const BoardProfile board = *FindBoard("RM310-GL841");
    DeviceLogsStore logs;
    EepromBus bus(board, logs);
    bus.Command(0b10, 62);
    EXPECT_EQ(bus.ReadWord(), 0xFFFF);
    EXPECT_EQ(bus.ReadWord(), 0xFFFF);
    EXPECT_EQ(bus.ReadWord(), 0x17C4);
    EXPECT_EQ(bus.ReadWord(), 0x00F0);
}

TEST(SerialEeprom, OtherOpcodesAreIgnoredUnlessWritable)
{
    const BoardProfile board = *FindBoard("RM310-GL841");
    for (bool writable : {false, true}) {
        DeviceLogsStore logs;
        EepromBus bus(board, logs, writable);
        bus.Command(0b01, 4);
        for (int b = 15; b >= 0; --b)
            bus.Clock(((0x1234 >> b) & 1) != 0);
        bus.Deselect();
        bus.Command(0b11, 5);
        bus.Deselect();
        EXPECT_EQ(bus.Memory().Words()[4], writable ? 0x1234 : 0x0101);
        EXPECT_EQ(bus.Memory().Words()[5], 0xFFFF);
        ASSERT_EQ(logs.Violations().size(), writable ? 1u : 2u);
        EXPECT_EQ(logs.Violations()[0].rule, "B1");
    }
}

} // namespace
} // namespace emulator
