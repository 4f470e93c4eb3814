// Device time: virtual runs repeat, pending reads move the clock just
// enough, a shared time source, speed, and the bus model.
#include "TransportDriver.h"

namespace emulator::testing {
namespace {

using namespace std::chrono_literals;

constexpr DeviceTime kQuantum = 100us;

// A colour scan over the calibration sheet with the front end programmed:
// the pixel path runs for real, with its seeded noise.
std::vector<std::uint8_t> ScanRun(VirtualScanner& scanner, std::vector<RequestLogEntry>& log)
{
    Driver d(scanner);
    scanner.InsertCalibrationSheet();
    d.ControlOut(0x8C, 0x10, {0x90});
    d.Write({{0x04, 0x00}, {0x87, 0x10}, {0x34, 27}});
    d.FrontEnd(6, 7);
    d.FrontEnd(3, 2);
    for (std::uint8_t a = 0x28; a <= 0x2A; ++a)
        d.FrontEnd(a, 75);
    for (std::uint8_t a = 0x20; a <= 0x22; ++a)
        d.FrontEnd(a, 128);
    d.Write({{0x03, 0x10}, {0x6E, 0x10}, {0x6C, 0x10}});  // lamp on, line 13 an output at 1
    d.SetField(0x10, 2, 5000);
    d.SetField(0x12, 2, 5000);
    d.SetField(0x14, 2, 5000);
    d.SetField(0x38, 2, 6000);
    d.SetField(0x30, 2, 27);
    d.SetField(0x32, 2, 27 + 2496);
    d.SetField(0x2C, 2, 300);
    d.SetField(0x25, 3, 9);
    d.StartScan();
    const std::uint32_t bytes = 9 * 1248;
    const DeviceReply r = d.Download(0x45, bytes);
    log = scanner.RequestLog();
    return r.data;
}

TEST(TimeVirtual, IdenticalRunsRepeatRequestByRequest)
{
    VirtualScanner a("RM310-GL841", {{"clock", "virtual"}, {"seed", "7"}});
    VirtualScanner b("RM310-GL841", {{"clock", "virtual"}, {"seed", "7"}});
    std::vector<RequestLogEntry> logA, logB;
    const auto imageA = ScanRun(a, logA);
    const auto imageB = ScanRun(b, logB);
    ASSERT_EQ(imageA.size(), 9u * 1248);
    EXPECT_EQ(imageA, imageB);
    ASSERT_EQ(logA.size(), logB.size());
    for (std::size_t i = 0; i < logA.size(); ++i) {
        EXPECT_EQ(logA[i].time, logB[i].time) << i;
        EXPECT_EQ(logA[i].data, logB[i].data) << i;
    }
    EXPECT_TRUE(a.Violations().empty()) << ViolationText(a);
    // Not all one value: the sensor really ran.
    EXPECT_NE(std::count(imageA.begin(), imageA.end(), imageA[0]), static_cast<long>(imageA.size()));
}

class TimeTest : public DeviceTest {};

TEST_F(TimeTest, APendingReadAdvancesTheClockJustEnough)
{
    driver_.SetUpMonoScan(4, 10);  // 7.5 ms a line at 12 MHz
    driver_.StartScan();
    const DeviceTime start = scanner_.Now();
    driver_.Select(0x45);
    driver_.Arm(false, 40);
    driver_.BulkIn(40);
    // The scan started at `start`; the read completes when the fourth line
    // ends, though the requests in between each took a quantum.
    EXPECT_EQ(scanner_.Now() - start, 4 * 7500us);
    // Event waits never advance it.
    const DeviceTime before = scanner_.Now();
    std::atomic<bool> done{false};
    driver_.Connection().Submit(1, IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1),
                                [&](std::uint32_t, const DeviceReply&) { done = true; });
    EXPECT_EQ(scanner_.Now() - before, kQuantum);
    driver_.Connection().Cancel(1);
}

TEST_F(TimeTest, SharedTimeSourceMovesBothWays)
{
    auto clock = std::make_shared<VirtualClock>();
    scanner_.SetTimeSource(clock);
    const DeviceTime t0 = scanner_.Now();
    clock->Advance(5ms);
    EXPECT_EQ(scanner_.Now() - t0, 5ms);
    const auto c0 = clock->Now();
    scanner_.AdvanceClock(2ms);
    EXPECT_EQ(clock->Now() - c0, 2ms);
}

struct BusCase {
    const char* bus;
    int packet;
    DeviceTime bulk2048;
    DeviceTime control;
};

class TimeBus : public ::testing::TestWithParam<BusCase> {};

TEST_P(TimeBus, TransfersTakeTheirBusTime)
{
    const BusCase& c = GetParam();
    VirtualScanner scanner("RM310-GL841",
                           {{"clock", "virtual"}, {"bus", c.bus}, {"packet_size", std::to_string(c.packet)}});
    Driver d(scanner);
    d.Select(0x4E);
    d.Arm(false, 2048);
    DeviceTime t = scanner.Now();
    ASSERT_EQ(d.BulkIn(2048).count, 2048u);
    EXPECT_EQ(scanner.Now() - t, kQuantum + c.bulk2048);
    t = scanner.Now();
    d.ControlIn(0x8E, 0, 1);
    EXPECT_EQ(scanner.Now() - t, kQuantum + c.control);
    EXPECT_TRUE(scanner.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Models, TimeBus,
    ::testing::Values(BusCase{"off", 512, 0us, 0us},
                      BusCase{"practical", 512, 125us + 51200ns, 250us},
                      BusCase{"theoretical", 512, 125us + DeviceTime(38641), 250us},
                      BusCase{"practical", 64, 1ms + 2048us, 1ms},
                      BusCase{"theoretical", 64, 1ms + DeviceTime(1706666), 1ms}),
    [](const auto& param) { return std::string(param.param.bus) + std::to_string(param.param.packet); });

TEST(TimeReal, FasterSpeedRunsAScanToItsEnd)
{
    // 40 lines of 7.5 ms: 0.3 s of device time, 3 ms of host time at speed 100.
    VirtualScanner scanner("RM310-GL841", {{"clock", "real"}, {"speed", "100"}});
    Driver d(scanner);
    d.SetUpMonoScan(40, 16);
    d.StartScan();
    d.Select(0x45);
    d.Arm(false, 640);
    const auto r = d.Connection().Call(DeviceRequest{RequestOp::Read, 0, 640, {}}, 20s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->count, 640u);
    EXPECT_GE(scanner.Now(), 40 * 7500us);
    EXPECT_TRUE(scanner.Violations().empty()) << ViolationText(scanner);
}

}  // namespace
}  // namespace emulator::testing
