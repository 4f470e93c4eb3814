// The scan and move engines: line counts, live registers, status, end
// conditions, start checks, back-pressure and motor distances.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "TransportDriver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

class EngineTest : public DeviceTest {
protected:
    explicit EngineTest(std::string board = "RM310-GL841") : DeviceTest(std::move(board)) {}

    // Motor table t (600 class) with `entries` step periods, its length register set.
    void MotorTable(int t, const std::vector<std::uint16_t>& entries)
    {
        const std::uint32_t word = 0x8000 + (t - 1) * 0x200;
        driver_.Write({{0x2A, static_cast<std::uint8_t>(word / 16 >> 8)}, {0x2B, static_cast<std::uint8_t>(word / 16)}});
        std::vector<std::uint8_t> bytes;
        for (std::uint16_t e : entries) {
            bytes.push_back(static_cast<std::uint8_t>(e));
            bytes.push_back(static_cast<std::uint8_t>(e >> 8));
        }
        driver_.Upload(0x3C, bytes);
        const std::uint8_t lengthReg[] = {0x21, 0x24, 0x69, 0x6A, 0x5F};
        driver_.Set(lengthReg[t - 1], static_cast<std::uint8_t>(entries.size() / 2));
    }

    void Move(std::uint32_t feed, bool reverse, bool powered = true)
    {
        driver_.SetField(0x3D, 3, feed);
        driver_.Set(0x02, static_cast<std::uint8_t>((reverse ? 0x04 : 0) | (powered ? 0x10 : 0)));
        driver_.Set(0x01, 0x40);
        driver_.Set(0x0F, 0x01);
    }

    std::vector<std::uint8_t> ReadImage(std::uint32_t length)
    {
        driver_.Select(0x45);
        driver_.Arm(false, length);
        return driver_.BulkIn(length).data;
    }

    void ReadySheet()
    {
        scanner_.InsertCalibrationSheet();
        scanner_.AdvanceClock(1ms);
        ASSERT_TRUE(scanner_.Paper().inPath.has_value());
    }
};

TEST_F(EngineTest, ScanProducesExactlyLineCountLines)
{
    driver_.SetUpMonoScan(5, 101);
    driver_.StartScan();
    EXPECT_EQ(ReadImage(505).size(), 505u);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(driver_.GetField(0x4C, 2), 5u);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
    EXPECT_EQ(scanner_.LinesScanned(), 5u);
}

TEST_F(EngineTest, FifoWordsAndLinesScannedAreLive)
{
    driver_.SetUpMonoScan(10, 101);
    driver_.StartScan();
    for (std::uint32_t k = 1; k <= 3; ++k) {
        scanner_.AdvanceClock(7500us);
        const std::uint32_t lines = driver_.GetField(0x4C, 2);
        EXPECT_EQ(lines, scanner_.LinesScanned());
        EXPECT_GE(lines, k - 1);
        EXPECT_EQ(driver_.GetField(0x42, 3), lines * 101 / 2);
    }
    driver_.Set(0x01, 0x40);
}

TEST_F(EngineTest, StatusFollowsTheEngines)
{
    MotorTable(1, {2000, 2000});
    driver_.SetUpMonoScan(3, 50);
    driver_.Set(0x02, 0x10);
    driver_.StartScan();
    EXPECT_EQ(driver_.Status(), 0x03);
    ReadImage(150);
    EXPECT_EQ(driver_.Status(), 0x10);

    driver_.Set(0x02, 0x00);
    driver_.StartScan();
    EXPECT_EQ(driver_.Status(), 0x02);
    ReadImage(150);
    EXPECT_EQ(driver_.Status(), 0x10);
}

TEST_F(EngineTest, ScanEnableIsKeptUnlessSwitched)
{
    driver_.SetUpMonoScan(1, 10);
    driver_.StartScan();
    ReadImage(10);
    EXPECT_EQ(driver_.Get(0x01) & 1, 1);
    scanner_.SetSwitch("scan_enable_autoclear", "on");
    driver_.StartScan();
    ReadImage(10);
    EXPECT_EQ(driver_.Get(0x01) & 1, 0);
}

TEST_F(EngineTest, LineCountOrScanEnableEndTheScanAtOnce)
{
    driver_.SetUpMonoScan(100, 10);
    driver_.StartScan();
    scanner_.AdvanceClock(3 * 7500us + 1us);
    const std::uint32_t lines = scanner_.LinesScanned();
    driver_.SetField(0x25, 3, 1);
    EXPECT_EQ(driver_.Status(), 0x10);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.LinesScanned(), lines);

    driver_.SetField(0x25, 3, 100);
    driver_.StartScan();
    scanner_.AdvanceClock(2 * 7500us + 1us);
    driver_.Set(0x01, 0x40);
    EXPECT_EQ(driver_.Status(), 0x10);
    const std::uint32_t after = scanner_.LinesScanned();
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.LinesScanned(), after);
    EXPECT_EQ(scanner_.FifoBytes(), after * 10u);  // the FIFO keeps its data
}

TEST_F(EngineTest, StartChecks)
{
    driver_.SetUpMonoScan(1, 10);
    driver_.SetField(0x38, 2, 0);
    driver_.StartScan();
    EXPECT_EQ(driver_.Status(), 0x10);  // refused
    ExpectViolations({"G11"});

    driver_.SetUpMonoScan(1, 10);
    driver_.Set(0x04, 0x08);  // layout 2
    driver_.StartScan();
    ReadImage(10);
    ExpectViolations({"G8"});

    driver_.SetUpMonoScan(1, 10);
    driver_.Set(0x87, 0x10);  // colour select with a mono layout
    driver_.StartScan();
    ReadImage(10);
    ExpectViolations({"G12"});

    auto has = [&](const char* id) {
        const auto obs = scanner_.Observations();
        return std::any_of(obs.begin(), obs.end(), [&](const ObservationLogEntry& o) { return o.id == id; });
    };
    driver_.SetUpMonoScan(1, 10);
    driver_.Set(0x34, 20);
    driver_.StartScan();
    ReadImage(10);
    EXPECT_TRUE(has("O3"));
    EXPECT_FALSE(has("O4"));
    driver_.SetUpMonoScan(1, 10, 30);  // period below EndPixel 37
    driver_.StartScan();
    ReadImage(10);
    EXPECT_TRUE(has("O4"));
    ExpectViolations({});
}

TEST_F(EngineTest, MoveStartWhileRunningIsIgnored)
{
    driver_.SetUpMonoScan(3, 10);
    driver_.StartScan();
    driver_.Set(0x0F, 1);
    ExpectViolations({"G9"});
    EXPECT_EQ(ReadImage(30).size(), 30u);
}

TEST_F(EngineTest, EmptyMotorTableIsG10)
{
    ReadySheet();
    Move(10, false);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(scanner_.MotorPosition(), 18);
    ExpectViolations({"G10"});
}

TEST_F(EngineTest, ClockChangeDuringAScanIsG14)
{
    driver_.SetUpMonoScan(2, 10);
    driver_.StartScan();
    EXPECT_EQ(driver_.ControlOut(0x8C, 0x10, {0x90}).error, 0u);
    EXPECT_EQ(scanner_.ClockHz(), 24'000'000u);
    ExpectViolations({"G14"});
    ReadImage(20);
}

TEST_F(EngineTest, FullFifoPausesLinesAndPaperLosingNothing)
{
    scanner_.SetSwitch("fifo_bytes", "98304");
    MotorTable(1, {1000, 1000});
    ReadySheet();
    constexpr std::uint32_t kWidth = 2496;
    constexpr std::uint32_t kLines = 120;
    driver_.SetUpMonoScan(kLines, kWidth);
    driver_.Set(0x02, 0x10);
    driver_.StartScan();
    scanner_.AdvanceClock(2s);
    const std::size_t full = scanner_.FifoBytes();
    EXPECT_LE(full, 98304u);
    EXPECT_GT(full, 98304u - kWidth);
    const double y = scanner_.Paper().inPath->y;
    const std::int64_t position = scanner_.MotorPosition();
    EXPECT_EQ(driver_.Status(), 0x03);  // paused, still running
    scanner_.AdvanceClock(2s);
    EXPECT_EQ(scanner_.Paper().inPath->y, y);
    EXPECT_EQ(scanner_.MotorPosition(), position);

    // A slow reader in odd chunks gets every byte.
    std::size_t total = 0;
    while (total < kWidth * kLines) {
        const std::uint32_t chunk = std::min<std::uint32_t>(7777, kWidth * kLines - static_cast<std::uint32_t>(total));
        total += ReadImage(chunk).size();
        scanner_.AdvanceClock(20ms);
    }
    EXPECT_EQ(total, std::size_t{kWidth} * kLines);
    EXPECT_EQ(scanner_.LinesScanned(), kLines);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
    EXPECT_GT(scanner_.MotorPosition(), position);
}

TEST_F(EngineTest, LineLargerThanTheFifoStillGoesThrough)
{
    scanner_.SetSwitch("fifo_bytes", "100");
    driver_.SetUpMonoScan(3, 300);
    driver_.StartScan();
    std::size_t total = 0;
    for (int i = 0; i < 3; ++i)
        total += ReadImage(300).size();
    EXPECT_EQ(total, 900u);
    EXPECT_EQ(driver_.Status(), 0x10);
}

struct MoveCase {
    const char* board;
    double stepsPerInch;
};

class EngineMove : public EngineTest, public ::testing::WithParamInterface<MoveCase> {
protected:
    EngineMove() : EngineTest(GetParam().board) {}
};

TEST_P(EngineMove, MovesRunFeedStepsPlusEightBothWays)
{
    MotorTable(4, {3000, 2000, 1000, 1000});
    ReadySheet();
    Move(292, false);
    EXPECT_EQ(driver_.Status(), 0x01);
    scanner_.AdvanceClock(2s);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(scanner_.MotorPosition(), 300);
    EXPECT_NEAR(scanner_.Paper().inPath->y, 300 / GetParam().stepsPerInch, 1e-6);

    Move(92, true);
    scanner_.AdvanceClock(2s);
    EXPECT_EQ(scanner_.MotorPosition(), 200);
    EXPECT_NEAR(scanner_.Paper().inPath->y, 200 / GetParam().stepsPerInch, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Motors, EngineMove,
                         ::testing::Values(MoveCase{"RM310-GL841", 600.0}, MoveCase{"RM410", 609.4}),
                         [](const auto& param) { return std::string(param.param.board == std::string("RM410") ? "Steps609" : "Steps600"); });

TEST_F(EngineTest, LiveFeedStepsOfOneStopsWithinFiveSteps)
{
    MotorTable(4, {1000, 1000});
    ReadySheet();
    Move(100000, false);
    scanner_.AdvanceClock(20ms);  // 16 steps of 1.25 ms
    const std::int64_t at = scanner_.MotorPosition();
    driver_.SetField(0x3D, 3, 1);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_GT(scanner_.MotorPosition(), at);
    EXPECT_LE(scanner_.MotorPosition(), at + 5);
}

TEST_F(EngineTest, UnpoweredMoveTakesItsTimeWithoutMotion)
{
    MotorTable(4, {1000, 1000});
    ReadySheet();
    Move(100, false, false);
    EXPECT_EQ(driver_.Status(), 0x01);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(scanner_.MotorPosition(), 0);
    EXPECT_EQ(scanner_.Paper().inPath->y, 0.0);
    const auto obs = scanner_.Observations();
    EXPECT_TRUE(std::any_of(obs.begin(), obs.end(), [](const ObservationLogEntry& o) { return o.id == "O5"; }));
}

TEST_F(EngineTest, MoveWithoutFeedStepsDoesNothing)
{
    Move(0, false);
    EXPECT_EQ(driver_.Status(), 0x10);
    EXPECT_EQ(scanner_.Engine(), EngineState::Idle);
}

TEST_F(EngineTest, PositioningPrecedesTheLines)
{
    MotorTable(1, {1000, 1000});
    ReadySheet();
    driver_.SetUpMonoScan(2, 10);
    driver_.SetField(0x3D, 3, 40);
    driver_.Set(0x02, 0x00);  // positioning steps without motion, lines at a standstill
    driver_.StartScan();
    EXPECT_EQ(scanner_.Engine(), EngineState::Positioning);
    EXPECT_EQ(driver_.Status(), 0x03);
    // 48 steps of 1.25 ms, then the lines.
    scanner_.AdvanceClock(40 * 1250us);
    EXPECT_EQ(scanner_.Engine(), EngineState::Positioning);
    scanner_.AdvanceClock(10 * 1250us);
    EXPECT_EQ(scanner_.Engine(), EngineState::Scanning);
    EXPECT_EQ(scanner_.LinesScanned(), 0u);
    EXPECT_EQ(ReadImage(20).size(), 20u);
    EXPECT_EQ(scanner_.MotorPosition(), 0);
}

}  // namespace
}  // namespace emulator::testing
