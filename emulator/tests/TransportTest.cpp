// The usbscan face: descriptors, channel information, pipe resets, the
// private clock code, connections, cancel, events, unplug and plug.
#include <atomic>
#include <mutex>

#include "TransportDriver.h"

namespace emulator::testing {
namespace {

struct BoardIds {
    const char* board;
    std::uint16_t vendor;
    std::uint16_t product;
};

class TransportBoards : public ::testing::TestWithParam<BoardIds> {};

TEST_P(TransportBoards, DescriptorCarriesTheBoardIds)
{
    VirtualScanner scanner(GetParam().board, {{"clock", "virtual"}});
    Driver d(scanner);
    const DeviceReply r = d.Call(IoctlRequest(kIoctlGetDeviceDescriptor, std::vector<std::uint8_t>(8), 8));
    ASSERT_EQ(r.error, 0u);
    ASSERT_EQ(r.count, 8u);
    const std::vector<std::uint8_t> expected{
        static_cast<std::uint8_t>(GetParam().vendor), static_cast<std::uint8_t>(GetParam().vendor >> 8),
        static_cast<std::uint8_t>(GetParam().product), static_cast<std::uint8_t>(GetParam().product >> 8),
        0x00, 0x01, 0x09, 0x04};
    EXPECT_EQ(r.data, expected);
    EXPECT_TRUE(scanner.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(Gl841, TransportBoards,
                         ::testing::Values(BoardIds{"RM310-GL841", 0x17C4, 0x00F0}, BoardIds{"RM410", 0x17C4, 0x00F1},
                                           BoardIds{"RM1100", 0x1F63, 0x4800}));

TEST(TransportBoard, UnknownBoardsAreRefused)
{
    EXPECT_THROW(VirtualScanner("RM999"), Error);
    EXPECT_NO_THROW(VirtualScanner("RM460"));
    EXPECT_THROW(VirtualScanner("RM310-GL841", {{"no_such_switch", "1"}}), Error);
}

class TransportPacket : public ::testing::TestWithParam<int> {};

TEST_P(TransportPacket, ChannelInformationAndChipInformationFollowThePacketSize)
{
    const int packet = GetParam();
    VirtualScanner scanner("RM410", {{"clock", "virtual"}, {"packet_size", std::to_string(packet)}});
    Driver d(scanner);
    const DeviceReply r = d.Call(IoctlRequest(kIoctlGetChannelAlignRqst, {}, 12));
    ASSERT_EQ(r.error, 0u);
    ASSERT_EQ(r.count, 12u);
    EXPECT_EQ(Le32(r.data, 0), 1u);
    EXPECT_EQ(Le32(r.data, 4), static_cast<std::uint32_t>(packet));
    EXPECT_EQ(Le32(r.data, 8), static_cast<std::uint32_t>(packet));
    const DeviceReply info = d.ControlIn(0x8E, 0, 1);
    ASSERT_EQ(info.error, 0u);
    EXPECT_EQ(info.data, std::vector<std::uint8_t>{static_cast<std::uint8_t>(packet == 64 ? 0x08 : 0x00)});
    EXPECT_TRUE(scanner.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TransportPacket, ::testing::Values(512, 64));

class TransportTest : public DeviceTest {};

TEST_F(TransportTest, UnknownCodesAreInvalidFunctions)
{
    for (std::uint32_t code : {0x80002000u, 0x80002004u, 0x80002020u, 0x00220000u})
        EXPECT_EQ(driver_.Call(IoctlRequest(code, {1, 2, 3, 4}, 4)).error, kErrorInvalidFunction) << code;
}

TEST_F(TransportTest, WriteRegistersWithWrongDataLengthIsT1)
{
    std::vector<std::uint8_t> in;
    PutLe32(in, 0x83);
    PutLe32(in, 0);
    PutLe32(in, 4);
    in.insert(in.end(), {0x10, 0x01});
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWriteRegisters, in)).error, kErrorInvalidParameter);
    EXPECT_EQ(scanner_.Register(0x10), 0);
    ExpectViolations({"T1"});
}

TEST_F(TransportTest, ResetPipeDropsTheArmedHeaderOfItsDirection)
{
    struct Case {
        std::vector<std::uint8_t> input;
        bool dropsRead;
        bool dropsWrite;
    };
    const Case cases[] = {
        {{}, true, true},           {{0, 0, 0, 0}, false, false}, {{1, 0, 0, 0}, true, false},
        {{2, 0, 0, 0}, false, true}, {{3, 0, 0, 0}, true, true},
    };
    for (const Case& c : cases) {
        driver_.Select(0x4E);
        driver_.Arm(false, 2);
        EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlResetPipe, c.input)).count, 0u);
        EXPECT_EQ(driver_.BulkIn(2).error, c.dropsRead ? kErrorGenFailure : 0u);
        ExpectViolations(c.dropsRead ? std::vector<std::string>{"G3"} : std::vector<std::string>{});

        driver_.Select(0x28);
        driver_.Arm(true, 2);
        EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlResetPipe, c.input)).error, 0u);
        EXPECT_EQ(driver_.BulkOut({1, 2}).error, c.dropsWrite ? kErrorGenFailure : 0u);
        ExpectViolations(c.dropsWrite ? std::vector<std::string>{"G3"} : std::vector<std::string>{});
    }
}

TEST_F(TransportTest, PrivateClockCodeAdvancesVirtualTime)
{
    const DeviceTime before = scanner_.Now();
    std::vector<std::uint8_t> us;
    PutLe32(us, 250000);
    ASSERT_EQ(driver_.Call(IoctlRequest(kIoctlClockAdvance, us)).error, 0u);
    // One request quantum (100 µs) plus the advance.
    EXPECT_EQ(scanner_.Now() - before, std::chrono::microseconds(250100));

    scanner_.SetSwitch("clock_advance_ioctl", "off");
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlClockAdvance, us)).error, kErrorInvalidFunction);
}

TEST_F(TransportTest, ConnectionsShareOneState)
{
    Driver other(scanner_);
    driver_.Set(0x10, 0x5A);
    EXPECT_EQ(other.Get(0x10), 0x5A);
    // The selection is device state too: select on one, read on the other.
    other.Select(0x10);
    EXPECT_EQ(driver_.ControlIn(0x84, 0, 1).data, std::vector<std::uint8_t>{0x5A});
}

TEST_F(TransportTest, CancelledImageReadKeepsFifoAndHeader)
{
    driver_.SetUpMonoScan(2, 100);
    driver_.StartScan();
    driver_.Select(0x45);
    driver_.Arm(false, 300);
    std::atomic<bool> completed{false};
    driver_.Connection().Submit(7, DeviceRequest{RequestOp::Read, 0, 300, {}},
                                [&](std::uint32_t, const DeviceReply&) { completed = true; });
    // The scan ends after 200 bytes: the read pends.
    EXPECT_FALSE(completed);
    driver_.Connection().Cancel(7);
    EXPECT_FALSE(completed);
    EXPECT_EQ(scanner_.FifoBytes(), 200u);
    // The header stays armed: replacing it is no G4, reading it would match.
    driver_.Arm(false, 200);
    const DeviceReply r = driver_.BulkIn(200);
    EXPECT_EQ(r.error, 0u);
    EXPECT_EQ(r.count, 200u);
    EXPECT_EQ(scanner_.FifoBytes(), 0u);
}

TEST_F(TransportTest, AnEventGoesToTheOldestWaiterOnly)
{
    Driver second(scanner_);
    std::mutex m;
    std::vector<std::pair<int, std::uint8_t>> got;
    auto record = [&](int who) {
        return [&, who](std::uint32_t, const DeviceReply& r) {
            std::lock_guard lock(m);
            got.emplace_back(who, r.data.empty() ? 0xFF : r.data[0]);
        };
    };
    driver_.Connection().Submit(1, IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1), record(1));
    second.Connection().Submit(1, IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1), record(2));
    scanner_.Press();
    {
        std::lock_guard lock(m);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], std::make_pair(1, std::uint8_t{2}));
    }
    scanner_.Release();
    std::lock_guard lock(m);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], std::make_pair(2, std::uint8_t{0}));
}

TEST_F(TransportTest, EventsQueueUntilSomeoneWaits)
{
    scanner_.Press();
    scanner_.Release();
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1)).data, std::vector<std::uint8_t>{2});
    EXPECT_EQ(driver_.Call(IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1)).data, std::vector<std::uint8_t>{0});
}

TEST_F(TransportTest, UnplugFailsPendingAndLaterRequestsAndPlugResets)
{
    driver_.Set(0x10, 0x77);
    std::atomic<std::uint32_t> pendingError{0};
    driver_.Connection().Submit(3, IoctlRequest(kIoctlWaitOnDeviceEvent, {}, 1),
                                [&](std::uint32_t, const DeviceReply& r) { pendingError = r.error; });
    scanner_.Unplug();
    EXPECT_EQ(pendingError, kErrorDeviceNotConnected);
    EXPECT_TRUE(driver_.Connection().Closed());
    EXPECT_EQ(driver_.ControlIn(0x8E, 0, 1).error, kErrorDeviceNotConnected);
    EXPECT_THROW(scanner_.Unplug(), Error);

    scanner_.Plug();
    EXPECT_THROW(scanner_.Plug(), Error);
    // The old connection stays closed; a new one finds the reset state.
    EXPECT_EQ(driver_.ControlIn(0x8E, 0, 1).error, kErrorDeviceNotConnected);
    Driver fresh(scanner_);
    EXPECT_EQ(fresh.Get(0x10), 0);
    EXPECT_EQ(fresh.Status(), 0x10);
}

TEST_F(TransportTest, RequestLogRecordsEachRequest)
{
    driver_.Set(0x10, 0x01);
    const auto log = scanner_.RequestLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, TransferKind::ControlOut);
    EXPECT_EQ(log[0].code, 0x83u);
    EXPECT_EQ(log[0].length, 2u);
    EXPECT_EQ(log[0].data, (std::vector<std::uint8_t>{0x10, 0x01}));
    EXPECT_EQ(log[0].result, 0u);
    EXPECT_EQ(log[0].count, 2u);
}

}  // namespace
}  // namespace emulator::testing
