// Injected faults: request faults by class, position and count, and the
// state faults.
#include <algorithm>
#include <atomic>

#include "TransportDriver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

class FaultTest : public DeviceTest {
protected:
    std::vector<std::uint8_t> ReadImage(std::uint32_t length)
    {
        driver_.Select(0x45);
        driver_.Arm(false, length);
        return driver_.BulkIn(length).data;
    }
};

TEST_F(FaultTest, TimeoutPendsUntilCancelledWithoutEffect)
{
    scanner_.InjectFault("timeout ON control-out");
    std::atomic<bool> done{false};
    driver_.Connection().Submit(1, RegisterRequest(true, 0x83, 0, 2, {0x10, 0x07}),
                                [&](std::uint32_t, const DeviceReply&) { done = true; });
    EXPECT_FALSE(done);
    driver_.Connection().Cancel(1);
    EXPECT_FALSE(done);
    EXPECT_EQ(scanner_.Register(0x10), 0);
    driver_.Set(0x10, 0x08);  // only the first matching request
    EXPECT_EQ(scanner_.Register(0x10), 0x08);
}

TEST_F(FaultTest, StallAndErrorFailWithoutEffect)
{
    scanner_.InjectFault("stall ON vendor:0x83");
    EXPECT_EQ(driver_.ControlOut(0x83, 0, {0x10, 0x07}).error, kErrorGenFailure);
    EXPECT_EQ(scanner_.Register(0x10), 0);

    driver_.Select(0x28);
    driver_.Arm(true, 2);
    scanner_.InjectFault("error:1117 ON bulk-out");
    EXPECT_EQ(driver_.BulkOut({1, 2}).error, kErrorIoDevice);
    EXPECT_EQ(scanner_.GammaWords(0, 1), std::vector<std::uint16_t>{0xA5A5});
    // The failed transfer's header may be replaced without complaint.
    driver_.Arm(true, 2);
    EXPECT_EQ(driver_.BulkOut({1, 2}).error, 0u);
    EXPECT_EQ(scanner_.GammaWords(0, 1), std::vector<std::uint16_t>{0x0201});
}

TEST_F(FaultTest, PositionAndCountSelectTheRequests)
{
    scanner_.InjectFault("stall ON control-in@2*2");
    std::vector<std::uint32_t> errors;
    for (int i = 0; i < 5; ++i)
        errors.push_back(driver_.ControlIn(0x8E, 0, 1).error);
    EXPECT_EQ(errors, (std::vector<std::uint32_t>{0, 31, 31, 0, 0}));

    scanner_.InjectFault("error:1167 ON ioctl:0x80002014**");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlGetChannelAlignRqst, {}, 12)).error, kErrorDeviceNotConnected);
    scanner_.ClearFaults();
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlGetChannelAlignRqst, {}, 12)).error, 0u);
}

TEST_F(FaultTest, DelayAnswersLater)
{
    scanner_.InjectFault("delay:30 ON any");
    std::atomic<bool> done{false};
    driver_.Connection().Submit(1, RegisterRequest(true, 0x83, 0, 2, {0x10, 0x07}),
                                [&](std::uint32_t, const DeviceReply&) { done = true; });
    EXPECT_FALSE(done);
    EXPECT_EQ(scanner_.Register(0x10), 0x07);  // it took effect at once
    const auto r = driver_.Connection().Call(RegisterRequest(false, 0x8E, 0, 1), 5s);
    ASSERT_TRUE(r);
}

TEST_F(FaultTest, ShortRegisterWriteActsOnlyOnWholePairsInsideTheCount)
{
    scanner_.InjectFault("short:3 ON control-out");
    const DeviceReply r = driver_.ControlOut(0x83, 0, {0x10, 1, 0x11, 2, 0x12, 3});
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(scanner_.Register(0x10), 1);
    EXPECT_EQ(scanner_.Register(0x11), 0);
    EXPECT_EQ(scanner_.Register(0x12), 0);
}

TEST_F(FaultTest, ShortBulkInDeliversAndConsumesFewer)
{
    driver_.SetUpMonoScan(2, 50);
    driver_.StartScan();
    scanner_.InjectFault("short:7 ON bulk-in");
    const auto first = ReadImage(100);
    EXPECT_EQ(first.size(), 93u);
    EXPECT_EQ(scanner_.FifoBytes(), 7u);
}

TEST_F(FaultTest, ShortDescriptor)
{
    scanner_.InjectFault("short:2 ON ioctl:0x80002018");
    const DeviceReply r = driver_.Call(IoctlRequest(kIoctlGetDeviceDescriptor, std::vector<std::uint8_t>(8), 8));
    EXPECT_EQ(r.count, 6u);
    EXPECT_EQ(r.data.size(), 6u);
}

TEST_F(FaultTest, UnplugAndPowerCycleHappenJustBefore)
{
    driver_.Set(0x10, 5);
    scanner_.InjectFault("power-cycle ON control-out");
    driver_.Set(0x11, 1);
    EXPECT_EQ(scanner_.Register(0x10), 0);
    EXPECT_EQ(scanner_.Register(0x11), 1);

    scanner_.InjectFault("unplug ON event");
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1)).error, kErrorDeviceNotConnected);
    EXPECT_FALSE(scanner_.Plugged());
}

TEST_F(FaultTest, BusyStatusReads)
{
    scanner_.InjectFault("busy:2");
    EXPECT_EQ(driver_.Status(), 0x03);
    EXPECT_EQ(driver_.Status(), 0x03);
    EXPECT_EQ(driver_.Status(), 0x10);
}

TEST_F(FaultTest, MotorNeverIdleAfterTheNextEngineRun)
{
    scanner_.InjectFault("motor-never-idle");
    EXPECT_EQ(driver_.Status(), 0x10);
    driver_.SetUpMonoScan(1, 10);
    driver_.StartScan();
    ReadImage(10);
    EXPECT_EQ(driver_.Status(), 0x01);
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(driver_.Status(), 0x01);
    scanner_.ClearFaults();
    EXPECT_EQ(driver_.Status(), 0x10);
}

TEST_F(FaultTest, NoLinesScanRunsButProducesNothing)
{
    scanner_.InjectFault("no-lines");
    driver_.SetUpMonoScan(3, 10);
    driver_.StartScan();
    scanner_.AdvanceClock(1s);
    EXPECT_EQ(driver_.Status(), 0x02);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
    driver_.Set(0x01, 0x40);
    EXPECT_EQ(driver_.Status(), 0x10);
}

TEST_F(FaultTest, ScanEnableAutoclear)
{
    scanner_.InjectFault("scan-enable-autoclear");
    driver_.SetUpMonoScan(1, 10);
    driver_.StartScan();
    ReadImage(10);
    EXPECT_EQ(driver_.Get(0x01) & 1, 0);
}

TEST_F(FaultTest, SheetFaultsReachThePaperPath)
{
    scanner_.InjectFault("no-pick");
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1s);
    EXPECT_FALSE(scanner_.Paper().inPath.has_value());
    EXPECT_EQ(scanner_.Paper().queued, 1u);
    scanner_.ClearFaults();
    scanner_.AdvanceClock(1ms);
    EXPECT_TRUE(scanner_.Paper().inPath.has_value());
}

TEST_F(FaultTest, JamAndSlipHoldBackTheSheet)
{
    const std::uint32_t word = 0x8000 + 3 * 0x200;  // motor table 4
    driver_.Write({{0x2A, static_cast<std::uint8_t>(word / 16 >> 8)}, {0x2B, static_cast<std::uint8_t>(word / 16)}});
    driver_.Upload(0x3C, {0xE8, 0x03, 0xE8, 0x03});
    driver_.Set(0x6A, 1);
    auto move = [&](std::uint32_t steps) {
        driver_.SetField(0x3D, 3, steps - 8);
        driver_.Write({{0x02, 0x10}, {0x01, 0x40}, {0x0F, 1}});
        scanner_.AdvanceClock(5s);
    };
    scanner_.InsertCalibrationSheet();
    scanner_.AdvanceClock(1ms);
    scanner_.InjectFault("slip:0.5");
    move(600);
    EXPECT_NEAR(scanner_.Paper().inPath->y, 0.5, 1e-6);
    scanner_.ClearFaults();
    scanner_.InjectFault("jam:0.75");
    move(600);
    EXPECT_NEAR(scanner_.Paper().inPath->y, 0.75, 1.0 / 600);
    EXPECT_EQ(scanner_.MotorPosition(), 1200);
}

TEST_F(FaultTest, MalformedFaultsAreRefused)
{
    for (const char* bad : {"", "explode ON any", "stall ON nowhere", "stall ON vendor", "error ON any",
                            "short:x ON bulk-in", "stall ON any@0", "busy", "jam", "slip:2"})
        EXPECT_THROW(scanner_.InjectFault(bad), Error) << bad;
}

}  // namespace
}  // namespace emulator::testing
