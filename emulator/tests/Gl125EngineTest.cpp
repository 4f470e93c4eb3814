// GL125 engines: line counts and the live line count, status, the scan bit,
// back-pressure, live counters, the read time-out, line timing, pre-feed and
// moves under both ramp rules.
#include "Gl125Driver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

class Gl125Engine : public Gl125Test {
protected:
    explicit Gl125Engine(SwitchOverrides switches = {}) : Gl125Test("RM310-GL125", std::move(switches)) {}

    void AdvanceTo(DeviceTime t)
    {
        const DeviceTime now = scanner_.Now();
        if (t > now)
            scanner_.AdvanceClock(t - now);
    }

    Gl125Scan ColourScan(std::uint32_t lines, std::uint32_t width)
    {
        Gl125Scan s;
        s.mono = false;
        s.lines = lines;
        s.end = s.start + width;
        return s;
    }

    bool Observed(const std::string& id) const
    {
        for (const auto& o : scanner_.Observations()) {
            if (o.id == id)
                return true;
        }
        return false;
    }
};

TEST_F(Gl125Engine, ColourScanMakesItsLinesThenGoesIdle)
{
    driver_.MotorTable(1, {6000});
    Gl125Scan s = ColourScan(9, 100);
    s.motor = true;
    driver_.SetUpScan(s);
    driver_.StartScan();
    EXPECT_EQ(driver_.Status(), 0x03);
    scanner_.AdvanceClock(100ms);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.GetField(0x10B, 3), 9u);
    EXPECT_EQ(scanner_.FifoBytes(), 900u);
    EXPECT_GT(scanner_.MotorPosition(), 0);
    EXPECT_EQ(driver_.Get(0x01) & 1, 1);  // the chip leaves the scan bit alone
}

TEST_F(Gl125Engine, ALineCountAtOrBelowTheLinesMadeEndsAfterTheCurrentLine)
{
    driver_.SetUpScan(ColourScan(100, 100));
    driver_.StartScan();
    const DeviceTime t0 = scanner_.Now();
    AdvanceTo(t0 + 13ms);  // 3 ms lines: line 5 is in progress
    ASSERT_EQ(scanner_.LinesScanned(), 4u);
    driver_.WritePairs({{0x25, 0}, {0x26, 0}, {0x27, 1}});
    scanner_.AdvanceClock(50ms);
    EXPECT_EQ(scanner_.LinesScanned(), 5u);
    EXPECT_EQ(driver_.Status(), 0x10);
}

TEST_F(Gl125Engine, ClearingTheScanBitEndsAtOnceAndLeavesImageMode)
{
    driver_.SetUpScan(ColourScan(100, 100));
    driver_.StartScan();
    AdvanceTo(scanner_.Now() + 10ms);
    const std::uint32_t made = scanner_.LinesScanned();
    driver_.Set(0x01, 0x40);
    EXPECT_EQ(scanner_.Engine(), EngineState::Idle);
    scanner_.AdvanceClock(50ms);
    EXPECT_EQ(scanner_.LinesScanned(), made);
    EXPECT_EQ(driver_.Download(kImage, 16), std::vector<std::uint8_t>(16, 0xA5));
}

class Gl125Autoclear : public Gl125Engine {
protected:
    Gl125Autoclear() : Gl125Engine({{"gl125.scan_bit_autoclear", "on"}}) {}
};

TEST_F(Gl125Autoclear, TheBitReadsZeroAfterTheLastLineAndImageModeStays)
{
    Gl125Scan s;
    s.lines = 2;
    driver_.SetUpScan(s);
    driver_.StartScan();
    scanner_.AdvanceClock(20ms);
    EXPECT_EQ(driver_.Get(0x01) & 1, 0);
    EXPECT_EQ(driver_.ReadImage(200).size(), 200u);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
}

class Gl125SmallBuffer : public Gl125Engine {
protected:
    Gl125SmallBuffer() : Gl125Engine({{"gl125.fifo_bytes", "98304"}}) {}
};

TEST_F(Gl125SmallBuffer, AFullBufferStallsAtTheLineBoundaryAndLosesNothing)
{
    driver_.SetUpScan(ColourScan(200, 1002));
    driver_.StartScan();
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.LinesScanned(), 98u);
    EXPECT_EQ(driver_.Get(0x103), 0x00);
    EXPECT_EQ(driver_.Get(0x104), 0xBF);
    EXPECT_EQ(driver_.Get(0x105), 0xCA);
    EXPECT_EQ(driver_.Status(), 0x02);  // unchanged while it waits
    EXPECT_TRUE(Observed("K-stall"));

    const auto first = driver_.ReadImage(1002);
    EXPECT_EQ(first.size(), 1002u);
    scanner_.AdvanceClock(100ms);
    EXPECT_EQ(scanner_.LinesScanned(), 99u);
    EXPECT_EQ(scanner_.FifoBytes(), 98u * 1002);
}

TEST_F(Gl125Engine, CountersHoldTheirValueFromTheTopByteRead)
{
    Gl125Scan s;
    s.lines = 1000;
    s.period = 600;  // 0.3 ms lines
    s.end = s.start + 16;
    driver_.SetUpScan(s);
    driver_.StartScan();
    scanner_.AdvanceClock(20ms);
    const std::uint32_t top = driver_.Get(0x10B);
    const std::uint32_t atTop = scanner_.LinesScanned();
    scanner_.AdvanceClock(3ms);
    const std::uint32_t value = top << 16 | driver_.Get(0x10C) << 8 | driver_.Get(0x10D);
    EXPECT_EQ(value, atTop);
    EXPECT_GE(scanner_.LinesScanned(), atTop + 10);

    scanner_.SetSwitch("gl125.counter_tear", "on");
    driver_.Get(0x10B);
    scanner_.AdvanceClock(3ms);
    driver_.Get(0x10C);
    const std::uint32_t live = scanner_.LinesScanned() & 0xFF;
    EXPECT_EQ(driver_.Get(0x10D), live);
}

TEST_F(Gl125Engine, AnImageReadPastTheScanTimesOut)
{
    Gl125Scan s;
    s.lines = 2;
    driver_.SetUpScan(s);
    driver_.StartScan();
    const DeviceTime t0 = scanner_.Now();
    driver_.Arm(false, kImage, 300);
    EXPECT_EQ(driver_.BulkIn(300).error, kErrorGenFailure);
    EXPECT_GE(scanner_.Now() - t0, 3500ms);
    ExpectViolations({"K13"});
    EXPECT_EQ(scanner_.FifoBytes(), 200u);  // nothing lost
    EXPECT_EQ(driver_.ReadImage(200).size(), 200u);
}

TEST_F(Gl125Engine, LinesLastTheirPeriodInTicksOfTwelveClocks)
{
    driver_.ControlOut(0x8C, 0x10, {11});
    driver_.ControlOut(0x8C, 0x13, {11});
    driver_.Set(0x0B, 1 << 5);
    Gl125Scan s;
    s.lines = 10;
    s.period = 3392;  // 1.3568 ms at 30 MHz
    driver_.SetUpScan(s);
    driver_.StartScan();
    const DeviceTime t0 = scanner_.Now();
    AdvanceTo(t0 + 13500us);
    EXPECT_EQ(scanner_.LinesScanned(), 9u);
    AdvanceTo(t0 + 13600us);
    EXPECT_EQ(scanner_.LinesScanned(), 10u);
}

TEST_F(Gl125Engine, PreFeedRunsBeforeTheLinesWithoutLines)
{
    driver_.MotorTable(1, {2000});  // 1 ms steps
    Gl125Scan s;
    s.lines = 2;
    s.run = 10;
    s.motor = true;
    driver_.SetUpScan(s);
    driver_.StartScan();
    const DeviceTime t0 = scanner_.Now();
    AdvanceTo(t0 + 10500us);
    EXPECT_EQ(scanner_.Engine(), EngineState::Positioning);
    EXPECT_EQ(scanner_.MotorPosition(), 10);
    EXPECT_EQ(driver_.Status(), 0x03);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
    AdvanceTo(t0 + 18500us);  // run + 8 steps
    EXPECT_EQ(scanner_.Engine(), EngineState::Scanning);
    EXPECT_EQ(scanner_.MotorPosition(), 18);
    scanner_.AdvanceClock(20ms);
    EXPECT_EQ(scanner_.LinesScanned(), 2u);
}

struct MoveCase {
    const char* rule;
    std::uint32_t run;
    std::int64_t steps;
};

class Gl125Moves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(Gl125Moves, MoveLengthFollowsTheRampRule)
{
    const MoveCase c = GetParam();
    VirtualScanner scanner("RM310-GL125", {{"clock", "virtual"}, {"gl125.ramp_rule", c.rule}});
    Gl125Driver driver(scanner);
    std::vector<std::uint16_t> ramp(20);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint16_t>(3000 - 100 * i);
    driver.MotorTable(4, ramp);
    driver.MotorTable(5, ramp);
    driver.Move(c.run, false);
    EXPECT_EQ(driver.Status() & 0x11, 0x01);
    scanner.AdvanceClock(5s);
    EXPECT_EQ(scanner.MotorPosition(), c.steps);
    EXPECT_EQ(driver.Status(), 0x10);
    driver.Move(c.run, true);
    scanner.AdvanceClock(5s);
    EXPECT_EQ(scanner.MotorPosition(), 0);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

INSTANTIATE_TEST_SUITE_P(Rules, Gl125Moves,
                         ::testing::Values(MoveCase{"fixed4", 100, 108}, MoveCase{"entries", 100, 140},
                                           MoveCase{"fixed4", 1, 9}, MoveCase{"entries", 1, 41}));

TEST_F(Gl125Engine, ALiveRunCountStopsALongMove)
{
    driver_.MotorTable(4, {1000, 1000});  // 0.5 ms steps
    driver_.MotorTable(5, {1000, 1000});
    driver_.Move(10000, false);
    scanner_.AdvanceClock(25ms);
    const std::int64_t at = scanner_.MotorPosition();
    driver_.WritePairs({{0x3D, 0}, {0x3E, 0}, {0x3F, 1}});
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.Engine(), EngineState::Idle);
    EXPECT_LE(scanner_.MotorPosition() - at, 1 + 4 + 1);
}

TEST_F(Gl125Engine, AnEntryOf3333At24MHzIsOneInchASecond)
{
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1ms);
    driver_.MotorTable(4, {3333});
    driver_.MotorTable(5, {3333});
    driver_.Move(592, false);  // 600 steps
    const DeviceTime t0 = scanner_.Now();
    AdvanceTo(t0 + 995ms);
    EXPECT_EQ(scanner_.Engine(), EngineState::Moving);
    AdvanceTo(t0 + 1005ms);
    EXPECT_EQ(scanner_.Engine(), EngineState::Idle);
    ASSERT_TRUE(scanner_.Paper().inPath.has_value());
    EXPECT_NEAR(scanner_.Paper().inPath->y, 1.0, 1e-9);
}

TEST_F(Gl125Engine, RunZeroIsAcceptedAndNeverBusy)
{
    driver_.Move(0, false);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(scanner_.Engine(), EngineState::Idle);
}

TEST_F(Gl125Engine, WithoutMotorPowerStepsAreCountedButThePaperStays)
{
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1ms);
    driver_.MotorTable(4, {1000});
    driver_.MotorTable(5, {1000});
    driver_.Move(10, false, false);
    EXPECT_EQ(driver_.Status() & 0x01, 0x01);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(scanner_.MotorPosition(), 0);
    EXPECT_EQ(scanner_.Paper().inPath->y, 0.0);
    EXPECT_TRUE(Observed("K-unpowered"));
}

TEST_F(Gl125Engine, AZeroLengthTableStepsSlowlyAndLogs)
{
    driver_.Move(2, false);
    ExpectViolations({"K12"});
    scanner_.AdvanceClock(1s);  // 10 steps of 0x3000 ticks
    EXPECT_EQ(scanner_.MotorPosition(), 10);
}

TEST_F(Gl125Engine, AStartWhileBusyIsIgnoredAndLogs)
{
    driver_.MotorTable(4, {1000});
    driver_.MotorTable(5, {1000});
    driver_.Move(1000, false);
    driver_.Set(0x0F, 1);
    ExpectViolations({"K6"});
    driver_.Set(0x3F, 1);
    scanner_.AdvanceClock(1s);
}

}  // namespace
}  // namespace emulator::testing

namespace emulator::testing {
namespace {

struct StartCheck {
    const char* what;
    std::uint16_t address;
    std::uint8_t value;
    const char* rule;
};

class Gl125StartChecks : public Gl125Test, public ::testing::WithParamInterface<StartCheck> {};

TEST_P(Gl125StartChecks, AScanStartLogsRegistersThatDoNotFit)
{
    const StartCheck c = GetParam();
    Gl125Scan s;
    s.shading = true;
    s.averaging = true;
    driver_.SetUpScan(s);
    driver_.Set(c.address, c.value);
    driver_.StartScan();
    ExpectViolations({c.rule});
    scanner_.AdvanceClock(std::chrono::milliseconds(10));
    EXPECT_EQ(scanner_.LinesScanned(), 1u) << c.what;  // the scan runs anyway
}

INSTANTIATE_TEST_SUITE_P(
    Registers, Gl125StartChecks,
    ::testing::Values(StartCheck{"colours per line", 0x0C, 2, "K7"}, StartCheck{"LED sequencing", 0x60, 0x14, "K7"},
                      StartCheck{"colour sequencing in mono", 0x60, 0x10, "K7"},
                      StartCheck{"dpi class flag", 0x05, 0x40, "K7"}, StartCheck{"sensor flag", 0x18, 0x10, "K8"},
                      StartCheck{"mode factor", 0x20, 1, "K8"}, StartCheck{"first active", 0x81, 87, "K8"},
                      StartCheck{"SensorSelect", 0x33, 0x10, "K8"}, StartCheck{"resolution for the divisor", 0x2D, 0x90, "K9"},
                      StartCheck{"area below 10", 0xD0, 9, "K11"}, StartCheck{"areas out of order", 0xD1, 23, "K11"}));

TEST(Gl125RM460, TheScalerSensorWantsItsOwnModeFactorAndSensorSelect)
{
    VirtualScanner scanner("RM460", {{"clock", "virtual"}});
    Gl125Driver driver(scanner);
    Gl125Scan s;
    s.modeFactor = 1;
    s.sensorSelect = true;
    driver.SetUpScan(s);
    driver.StartScan();
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
    scanner.AdvanceClock(std::chrono::milliseconds(10));
    s.modeFactor = 2;
    s.sensorSelect = false;
    driver.SetUpScan(s);
    driver.StartScan();
    EXPECT_EQ(ViolationRules(scanner), (std::vector<std::string>{"K8", "K8"}));
}

}  // namespace
}  // namespace emulator::testing

namespace emulator::testing {
namespace {

struct ExitCase {
    const char* board;
    const char* backLag;
    bool departedAt1_6;  // trailing edge 1.6 in past the entry sensor
};

class Gl125Exit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(Gl125Exit, TheExitLiesBehindTheBackLine)
{
    const ExitCase c = GetParam();
    VirtualScanner scanner(c.board, {{"clock", "virtual"}, {"gl125.back_lag", c.backLag}});
    Gl125Driver driver(scanner);
    scanner.InsertCalibrationSheet();
    scanner.AdvanceClock(std::chrono::milliseconds(1));
    driver.MotorTable(4, {1000});
    driver.MotorTable(5, {1000});
    driver.Move(static_cast<std::uint32_t>((11.0 + 1.6) * 600) - 8, false);
    scanner.AdvanceClock(std::chrono::seconds(10));
    EXPECT_EQ(scanner.Paper().departed.size(), c.departedAt1_6 ? 1u : 0u);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

INSTANTIATE_TEST_SUITE_P(Boards, Gl125Exit,
                         ::testing::Values(ExitCase{"RM310-GL125", "optical", true},
                                           ExitCase{"RM460", "optical", false},
                                           ExitCase{"RM460", "fixed600", true}));

}  // namespace
}  // namespace emulator::testing
