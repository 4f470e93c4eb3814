// Feed and eject moves against the virtual scanner: the motor steps the
// device counts add up to the distance asked, the tables land in motor
// memory, and a motor that never stops is reported instead of waited for.
#include "GL841Rig.h"

#include "chips/GL841MotorTable.h"
#include "device/DeviceIOException.h"

#include <cmath>

namespace {

using gl841_test::Rig;

struct MoveCase {
    bool rm410;  // 609.4 steps per inch, else RM310 at 600
    int yOffset;
    int resolution;
    bool forward;
    int64_t steps;  // motor steps the device runs
};

std::ostream& operator<<(std::ostream& os, const MoveCase& c) {
    return os << (c.rm410 ? "RM410" : "RM310") << " " << c.yOffset << " lines at " << c.resolution << " dpi "
              << (c.forward ? "forward" : "reverse");
}

void PrepareMove(GL841& chip, int yOffset, int resolution, bool forward) {
    chip.SetYOffset(yOffset);
    chip.SetXResolution(resolution);
    chip.SetFeedForward(forward);
    chip.SetFeedRate(2.0f);
    chip.SetRampStartSpeed(0.5f);
    chip.SetRampLength(40);
    chip.SetMotorPower(true);
}

class GL841MoveDistanceTest : public ::testing::TestWithParam<MoveCase> {};

TEST_P(GL841MoveDistanceTest, StepsAddUpToTheDistance) {
    const MoveCase& c = GetParam();
    Rig rig(c.rm410 ? gl841_test::RM410() : gl841_test::RM310());
    GL841& chip = *rig.chip;
    PrepareMove(chip, c.yOffset, c.resolution, c.forward);
    const int64_t before = rig.scanner.MotorPosition();
    chip.StartMove();
    EXPECT_FALSE(rig.Bit(0x01, 0)) << "not a scan";
    EXPECT_EQ(rig.Bit(0x02, 2), !c.forward);
    ASSERT_TRUE(rig.WaitFor([&] { return !chip.IsMotorBusy(); }));
    chip.StopMove();
    EXPECT_EQ(rig.scanner.MotorPosition() - before, c.forward ? c.steps : -c.steps);
    EXPECT_FALSE(rig.Bit(0x02, 4)) << "motor power off after the move";
    EXPECT_FALSE(rig.Bit(0x01, 6)) << "run flag cleared";
}

INSTANTIATE_TEST_SUITE_P(Distances, GL841MoveDistanceTest,
                         ::testing::Values(MoveCase{true, 300, 300, true, 609},     // one inch
                                           MoveCase{true, 150, 600, false, 152},    // a quarter inch back
                                           MoveCase{false, 200, 200, true, 600},
                                           MoveCase{false, 9, 600, true, 9},        // the shortest exact feed
                                           MoveCase{false, 8, 600, true, 10},       // 8 steps: 2 + 8
                                           MoveCase{false, 3, 600, true, 9}));      // raised to 5: 1 + 8

TEST(GL841MoveTest, FeedTablesLandInMotorMemory) {
    Rig rig(gl841_test::RM410());
    GL841& chip = *rig.chip;
    PrepareMove(chip, 300, 300, true);
    chip.StartMove();
    ASSERT_TRUE(rig.WaitFor([&] { return !chip.IsMotorBusy(); }));
    chip.StopMove();
    // 30 MHz / 15 / 2 inches per second / 609.4 steps per inch.
    const std::vector<uint16_t> table = gl841::BuildMotorTable(30000000, 0.5, 1640);
    for (uint32_t t : {4u, 5u}) {
        EXPECT_EQ(rig.scanner.ShadingWords(0x10000 + (t - 1) * 0x200, static_cast<uint32_t>(table.size())), table)
            << "table " << t;
    }
    EXPECT_EQ(rig.scanner.Register(0x6A), table.size() / 2);
    EXPECT_EQ(rig.scanner.Register(0x5F), table.size() / 2);
    EXPECT_EQ(table.front(), 6667);
    EXPECT_EQ(table.back(), 1640);
}

TEST(GL841MoveTest, StopMoveEndsALongMoveEarly) {
    Rig rig(gl841_test::RM310());
    GL841& chip = *rig.chip;
    PrepareMove(chip, 6000, 600, true);  // ten inches
    chip.StartMove();
    OSSleep(100);
    chip.StopMove();
    EXPECT_FALSE(chip.IsMotorBusy());
    const int64_t moved = rig.scanner.MotorPosition();
    EXPECT_GT(moved, 0);
    EXPECT_LT(moved, 6000);
}

TEST(GL841MoveTest, AMotorThatNeverStopsFailsThePollAndTheStop) {
    Rig rig(gl841_test::RM310());
    GL841& chip = *rig.chip;
    rig.scanner.InjectFault("motor-never-idle");
    PrepareMove(chip, 100, 600, true);
    chip.StartMove();
    const uint32_t start = OSGetTime();
    int code = 0;
    try {
        while (chip.IsMotorBusy()) {
            ASSERT_LT(OSGetTime() - start, 10000u) << "the poll is bounded";
            OSSleep(20);
        }
    } catch (const DeviceIOException& e) {
        code = e.Code();
    }
    EXPECT_EQ(code, DeviceIOException::kTransferFailure);
    try {
        chip.StopMove();
        ADD_FAILURE() << "StopMove returned on a motor that never stops";
    } catch (const DeviceIOException& e) {
        EXPECT_EQ(e.Code(), DeviceIOException::kTransferFailure);
    }
    EXPECT_LT(OSGetTime() - start, 10000u);
    EXPECT_FALSE(rig.Bit(0x02, 4)) << "motor power off all the same";
    rig.scanner.ClearFaults();
}

TEST(GL841MoveTest, MotorTableArgumentsOutsideTheirRangeSendNothing) {
    Rig rig(gl841_test::RM410());
    for (auto [table, ramp] : {std::pair{0, 4}, {6, 4}, {1, 0}, {1, 257}}) {
        EXPECT_FALSE(rig.chip->UploadMotorTable(table, ramp, 1000)) << table << "/" << ramp;
    }
    EXPECT_TRUE(rig.scanner.RequestLog().empty());
    EXPECT_TRUE(rig.chip->UploadMotorTable(5, 256, 1000));
}

TEST(GL841MoveTest, ScanTablesGoInWhateverTheRampLength) {
    Rig rig(gl841_test::RM410());
    GL841& chip = *rig.chip;
    chip.SetRampLength(0);  // the property's value before any feed
    chip.SetRampStartSpeed(0.0f);
    chip.SetColorMode(1);
    chip.SetXResolution(300);
    chip.SetBitsPerPixel(8);
    chip.SetScanWidth(300);
    chip.SetScanLength(2);
    ASSERT_TRUE(chip.SetupScan());
    // Step period at one inch per second: 2 000 000 counts per inch / 609.4.
    const std::vector<uint16_t> table = gl841::BuildMotorTable(30000000, 0.0, 3282);
    for (uint32_t t = 1; t <= 3; ++t) {
        EXPECT_EQ(rig.scanner.ShadingWords(0x10000 + (t - 1) * 0x200, static_cast<uint32_t>(table.size())), table)
            << "table " << t;
    }
    EXPECT_EQ(rig.scanner.Register(0x21), table.size() / 2);
    EXPECT_EQ(rig.scanner.Register(0x24), table.size() / 2);
    EXPECT_EQ(rig.scanner.Register(0x69), table.size() / 2);
    chip.StopScan();
}

TEST(GL841MoveTest, ScanPositioningFeedRunsBeforeTheLines) {
    Rig rig(gl841_test::RM310());
    GL841& chip = *rig.chip;
    chip.SetColorMode(1);
    chip.SetXResolution(600);
    chip.SetBitsPerPixel(8);
    chip.SetScanWidth(600);
    chip.SetScanLength(0);
    chip.SetYOffset(100);
    chip.SetFeedForward(true);
    chip.SetFeedRate(2.0f);
    chip.SetScanRate(1.0f);
    ASSERT_TRUE(chip.SetupScan());
    EXPECT_EQ(rig.Field(0x3D, 3) & 0xFFFFF, 92u);
    EXPECT_FALSE(rig.Bit(0x02, 3)) << "100 lines is not a fast feed";
    ASSERT_TRUE(rig.WaitFor([&] { return rig.scanner.Engine() == emulator::EngineState::Idle; }));
    // The feed of 92 + 8 steps, then the two lines of about one step each.
    EXPECT_GE(rig.scanner.MotorPosition(), 100);
    EXPECT_LE(rig.scanner.MotorPosition(), 104);
    chip.StopScan();
}

}  // namespace
