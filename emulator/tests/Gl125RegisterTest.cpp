// GL125 requests and registers: the two banks, the {value, marker} read
// answer, refused requests, fields with the MSB first, the front-end port,
// GPIO reads, clocks, power cycles and the EEPROM on the shared data line.
#include "Gl125Driver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

class Gl125Registers : public Gl125Test {};

TEST_F(Gl125Registers, SixPairsApplyInOrderSevenOrOddLengthsFail)
{
    EXPECT_EQ(driver_.WritePairs({{0x70, 1}, {0x71, 2}, {0x72, 3}, {0x73, 4}, {0x70, 5}, {0x9B, 6}}).error, 0u);
    EXPECT_EQ(driver_.Get(0x70), 5);  // the later pair wins
    EXPECT_EQ(driver_.Get(0x73), 4);
    EXPECT_EQ(driver_.Get(0x9B), 6);

    EXPECT_EQ(driver_.WritePairs({{0x70, 9}, {0x71, 9}, {0x72, 9}, {0x73, 9}, {0x70, 9}, {0x71, 9}, {0x72, 9}}).error,
              kErrorGenFailure);
    ExpectViolations({"K1"});
    EXPECT_EQ(driver_.ControlOut(0x83, 0, {0x70, 7, 0x71}).error, kErrorGenFailure);
    ExpectViolations({"K1"});
    EXPECT_EQ(driver_.Get(0x70), 5);
}

TEST_F(Gl125Registers, HighBankReadsStatusWithTheMarker)
{
    const DeviceReply r = driver_.ControlIn(0x18E, 0x0122, 2);
    ASSERT_EQ(r.error, 0u);
    EXPECT_EQ(r.data, (std::vector<std::uint8_t>{0x10, 0x55}));

    scanner_.SetSwitch("gl125.read_marker", "0");
    EXPECT_EQ(driver_.ControlIn(0x18E, 0x0122, 2).data, (std::vector<std::uint8_t>{0x10, 0x00}));
}

TEST_F(Gl125Registers, RequestsOutsideTheTableFailAndLog)
{
    struct Case {
        bool in;
        std::uint32_t request;
        std::uint32_t index;
        std::uint32_t length;
    };
    const Case cases[] = {
        {true, 0x8E, 0x0123, 2},   // read index without 0x22
        {true, 0x8E, 0x0122, 1},   // wrong length
        {true, 0x84, 0, 1},        // the other chip's read
        {false, 0x85, 0, 2},
        {false, 0x8D, 0, 1},
        {false, 0x83, 1, 2},       // wrong index
        {false, 0x8C, 0x10, 1},    // clock code 9 below
        {false, 0x82, 2, 8},       // no such direction
        {true, 0x8F, 0, 1},
    };
    for (const Case& c : cases) {
        const DeviceReply r = c.in ? driver_.ControlIn(c.request, c.index, c.length)
                                   : driver_.ControlOut(c.request, c.index,
                                                        std::vector<std::uint8_t>(c.length, c.request == 0x8C ? 9 : 0));
        EXPECT_EQ(r.error, kErrorGenFailure) << std::hex << c.request << " " << c.index;
        ExpectViolations({"K1"});
    }
}

TEST_F(Gl125Registers, ChipInformationFollowsTheBusSpeed)
{
    EXPECT_EQ(driver_.ControlIn(0x8E, 0, 1).data, (std::vector<std::uint8_t>{0x00}));
    scanner_.SetSwitch("gl125.full_speed", "on");
    EXPECT_EQ(driver_.ControlIn(0x8E, 0, 1).data, (std::vector<std::uint8_t>{0x08}));
    const DeviceReply channel = driver_.Call(IoctlRequest(kIoctlGetChannelAlignRqst, {}, 12));
    EXPECT_EQ(Le32(channel.data, 4), 64u);
}

TEST_F(Gl125Registers, HighBankOnlyTakesTheThresholds)
{
    EXPECT_EQ(driver_.WritePairs({{0x14, 130}, {0x15, 126}}, true).error, 0u);
    EXPECT_EQ(driver_.Get(0x114), 130);
    EXPECT_EQ(driver_.Get(0x115), 126);
    EXPECT_EQ(driver_.WritePairs({{0x01, 0x00}}, true).error, 0u);
    ExpectViolations({"K5"});
    EXPECT_EQ(driver_.Get(0x101), 0x10);

    const DeviceReply past = driver_.ControlIn(0x18E, 0x2022, 2);
    EXPECT_EQ(past.data, (std::vector<std::uint8_t>{0x00, 0x55}));
    ExpectViolations({"K1"});
}

TEST_F(Gl125Registers, FieldsPutTheirMostSignificantByteFirstInEitherWriteOrder)
{
    driver_.WritePairs({{0x25, 0x01}, {0x26, 0x23}, {0x27, 0x45}});
    EXPECT_EQ(driver_.GetField(0x25, 3), 0x12345u);
    driver_.WritePairs({{0x27, 0x45}, {0x26, 0x23}, {0x25, 0x01}});
    EXPECT_EQ(driver_.GetField(0x25, 3), 0x12345u);
}

TEST_F(Gl125Registers, FrontEndWordsGoOutOnTheValueHighWrite)
{
    driver_.WritePairs({{0x51, 3}, {0x5E, 0x80}, {0x5D, 1}});
    EXPECT_EQ(scanner_.AfeRegister(3), 0x80);
    ExpectViolations({"A1"});  // the front end keeps only the low byte of 0x180

    driver_.WritePairs({{0x51, 0x20}, {0x5E, 0x44}});
    EXPECT_EQ(scanner_.AfeRegister(0x20), 0x00);
    driver_.Set(0x5D, 0);
    EXPECT_EQ(scanner_.AfeRegister(0x20), 0x44);
}

TEST(Gl125FrontEnd, TheOtherCommitRuleSendsOnTheLowByte)
{
    VirtualScanner scanner("RM310-GL125", {{"clock", "virtual"}, {"gl125.afe_commit", "on_5E"}});
    Gl125Driver driver(scanner);
    driver.WritePairs({{0x51, 0x21}, {0x5E, 0x55}});
    EXPECT_EQ(scanner.AfeRegister(0x21), 0x55);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

TEST_F(Gl125Registers, StrobesAndStartReadZero)
{
    driver_.Set(0x0D, 0x05);
    EXPECT_EQ(driver_.Get(0x0D), 0);
    EXPECT_EQ(driver_.Get(0x0F), 0);
}

TEST_F(Gl125Registers, PowerBitSurvivesAReopenAndAPowerCycleResetsAll)
{
    driver_.Set(0x06, 0x10);
    driver_.Upload(kMainMemory, {1, 2, 3, 4});
    {
        Gl125Driver other(scanner_);
        EXPECT_EQ(other.Get(0x06), 0x10);
    }
    scanner_.PowerCycle();
    EXPECT_EQ(driver_.Get(0x06), 0x00);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.Download(kMainMemory, 4), (std::vector<std::uint8_t>(4, 0xA5)));
}

TEST_F(Gl125Registers, WiredInputsReadTheBoardWhateverWasWritten)
{
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1ms);
    driver_.Set(0x31, 0xFF);
    const std::uint8_t v = driver_.Get(0x31);
    EXPECT_EQ(v & 0x01, 0);     // paper at the entry sensor
    EXPECT_EQ(v & 0x04, 0x04);  // an unwired pin reads its latch
    scanner_.Press();
    EXPECT_EQ(driver_.Get(0x31) & 0x02, 0);
    scanner_.Release();
    EXPECT_EQ(driver_.Get(0x31) & 0x02, 0x02);
    EXPECT_EQ(driver_.Get(0x33) & 0x04, 0);  // external power
}

TEST(Gl125Gpio, TheEnableGateHidesInputsOfEnabledPins)
{
    VirtualScanner scanner("RM310-GL125", {{"clock", "virtual"}, {"gl125.gpio_input_gate", "enable"}});
    Gl125Driver driver(scanner);
    scanner.InsertCalibrationSheet();
    scanner.AdvanceClock(std::chrono::milliseconds(1));
    driver.Set(0x31, 0x01);
    EXPECT_EQ(driver.Get(0x31) & 0x01, 0);
    driver.Set(0x34, 0x01);
    EXPECT_EQ(driver.Get(0x31) & 0x01, 1);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

TEST_F(Gl125Registers, ClockCodesPickTheMasterClock)
{
    EXPECT_EQ(scanner_.ClockHz(), 24'000'000u);
    const std::pair<std::uint8_t, std::uint32_t> codes[] = {
        {10, 24'000'000}, {11, 30'000'000}, {12, 40'000'000}, {13, 48'000'000}, {14, 60'000'000}, {15, 80'000'000}};
    for (auto [code, hz] : codes) {
        EXPECT_EQ(driver_.ControlOut(0x8C, 0x10, {code}).error, 0u);
        EXPECT_EQ(scanner_.ClockHz(), hz);
    }
    EXPECT_EQ(driver_.ControlOut(0x8C, 0x10, {16}).error, kErrorGenFailure);
    ExpectViolations({"K1"});
}

TEST_F(Gl125Registers, AStartLogsDisagreeingClockCodes)
{
    driver_.ControlOut(0x8C, 0x10, {11});
    driver_.Move(0, false);
    ExpectViolations({"K14"});
    driver_.ControlOut(0x8C, 0x13, {11});
    driver_.Set(0x0B, 1 << 5);
    driver_.Move(0, false);
    EXPECT_TRUE(scanner_.Violations().empty()) << ViolationText(scanner_);
}

// EEPROM word `address` by bit-banging pins 5 (shared DI/DO), 6 (SK), 7 (CS):
// the data line is made an input and the opcode shifted out through its latch.
std::uint16_t ReadEepromWord(Gl125Driver& d, std::uint8_t address)
{
    constexpr std::uint8_t kDi = 0x10, kSk = 0x20, kCs = 0x40;
    d.Set(0x34, kSk | kCs);  // pin 5 an input
    auto clock = [&](bool di) {
        const auto v = static_cast<std::uint8_t>(kCs | (di ? kDi : 0));
        d.Set(0x31, v);
        d.Set(0x31, v | kSk);
    };
    d.Set(0x31, 0);
    d.Set(0x31, kCs);
    const unsigned command = 0b110u << 6 | address;  // start, READ, address
    for (int b = 8; b >= 0; --b)
        clock((command >> b) & 1);
    std::uint16_t word = 0;
    for (int b = 0; b < 16; ++b) {
        clock(false);
        word = static_cast<std::uint16_t>(word << 1 | ((d.Get(0x31) & kDi) ? 1 : 0));
    }
    d.Set(0x31, 0);
    return word;
}

TEST(Gl125Eeprom, WordsReadThroughTheSharedDataLine)
{
    const std::pair<const char*, std::uint16_t> boards[] = {{"RM460", 0x4811}, {"RM310-GL125", 0x00F2}};
    for (auto [board, product] : boards) {
        VirtualScanner scanner(board, {{"clock", "virtual"}});
        Gl125Driver driver(scanner);
        EXPECT_EQ(ReadEepromWord(driver, 0), 0x17C4) << board;
        EXPECT_EQ(ReadEepromWord(driver, 1), product) << board;
        EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
    }
}

}  // namespace
}  // namespace emulator::testing
