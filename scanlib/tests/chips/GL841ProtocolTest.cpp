#include "chips/BulkChunkPlan.h"
#include "chips/GL841.h"
#include "chips/WM8199.h"
#include "RecordingPort.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

namespace {

using Requests = std::vector<PortRequest>;

// The power-on image, in address order.
const std::vector<std::pair<uint8_t, uint8_t>> kImage = {
    {0x01, 0x80}, {0x02, 0x00}, {0x03, 0x50}, {0x04, 0x10}, {0x06, 0xA8}, {0x09, 0x00}, {0x0D, 0x01},
    {0x10, 0x0C}, {0x11, 0x60}, {0x12, 0x0E}, {0x13, 0xE0}, {0x14, 0x0E}, {0x15, 0x80}, {0x16, 0x00},
    {0x17, 0x00}, {0x18, 0x04}, {0x19, 0x00}, {0x1A, 0x10}, {0x1C, 0x20}, {0x1D, 0x02}, {0x1E, 0x30},
    {0x20, 0x08}, {0x21, 0x01}, {0x22, 0x20}, {0x23, 0x20}, {0x24, 0x01}, {0x29, 0x00}, {0x2E, 0x82},
    {0x2F, 0x7E}, {0x35, 0x00}, {0x36, 0x40}, {0x37, 0x00}, {0x52, 0x0A}, {0x53, 0x0D}, {0x58, 0x54},
    {0x5A, 0x00}, {0x5E, 0x01}, {0x67, 0x7F}, {0x68, 0x7F}, {0x70, 0x00}, {0x71, 0x00}, {0x72, 0x00},
    {0x73, 0x00}, {0x87, 0x10},
};

Requests GpioRefreshAndPacketSize() {
    Requests r;
    for (uint8_t reg = 0x6B; reg <= 0x6F; ++reg) {
        r.push_back(Select(reg));
        r.push_back(In(0x84));
    }
    r.push_back(In(0x8E));
    return r;
}

class GL841ProtocolTest : public ::testing::Test {
protected:
    void InitWarm(uint8_t chipInfo = 0) {
        port.chip[0x06] = 0x10;
        port.chipInfo = chipInfo;
        ASSERT_TRUE(chip.Init());
        port.Take();
    }

    RecordingPort port;
    WM8199GL frontEnd;
    GL841 chip{&frontEnd, &port, false};
};

TEST_F(GL841ProtocolTest, InitOnAFreshChipSendsTheClockAndThePowerOnImage) {
    port.chip[0x6D] = 0x5A;
    ASSERT_TRUE(chip.Init());
    Requests expected = {Select(0x06), In(0x84), Out(0x8C, {0xA0}, 0x10)};
    for (size_t i = 0; i < kImage.size(); i += 3) {
        std::vector<uint8_t> pairs;
        for (size_t j = i; j < std::min(i + 3, kImage.size()); ++j) {
            pairs.push_back(kImage[j].first);
            pairs.push_back(kImage[j].second);
        }
        expected.push_back(Out(0x83, pairs));
    }
    const Requests refresh = GpioRefreshAndPacketSize();
    expected.insert(expected.end(), refresh.begin(), refresh.end());
    EXPECT_EQ(port.Take(), expected);
    EXPECT_EQ(chip.RegisterValue(0x6D), 0x5A);
    EXPECT_EQ(chip.PacketSize(), 512);
    EXPECT_EQ(frontEnd.GetController(), &chip);
    EXPECT_TRUE(port.allLocked);
}

TEST_F(GL841ProtocolTest, InitOnAWarmChipOnlyRefreshesGpioAndReadsThePacketSize) {
    port.chip[0x06] = 0x10;
    port.chipInfo = 0x08;
    ASSERT_TRUE(chip.Init());
    Requests expected = {Select(0x06), In(0x84)};
    const Requests refresh = GpioRefreshAndPacketSize();
    expected.insert(expected.end(), refresh.begin(), refresh.end());
    EXPECT_EQ(port.Take(), expected);
    EXPECT_EQ(chip.PacketSize(), 64);
    for (auto [reg, value] : kImage) {
        EXPECT_EQ(chip.RegisterValue(reg), value);
        EXPECT_FALSE(chip.IsRegisterDirty(reg));
    }
}

TEST_F(GL841ProtocolTest, InitWithTheLampOffStagesRegister3WithoutTheLampBit) {
    chip.SetLampPower(false);
    InitWarm();
    EXPECT_EQ(chip.RegisterValue(0x03), 0x40);
}

struct PlanCase {
    uint32_t length;
    uint32_t packet;
    std::vector<BulkChunk> chunks;
};

bool operator==(const BulkChunk& a, const BulkChunk& b) {
    return a.offset == b.offset && a.dataLength == b.dataLength && a.transferLength == b.transferLength &&
           a.bounce == b.bounce;
}

class BulkChunkPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(BulkChunkPlanTest, CutsAsPlanned) {
    const PlanCase& c = GetParam();
    const std::vector<BulkChunk> plan = PlanBulkChunks(c.length, c.packet);
    ASSERT_EQ(plan.size(), c.chunks.size());
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_TRUE(plan[i] == c.chunks[i]) << "chunk " << i << ": " << plan[i].offset << " " << plan[i].dataLength
                                            << " " << plan[i].transferLength << " " << plan[i].bounce;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plans, BulkChunkPlanTest,
    ::testing::Values(
        PlanCase{0xF000 + 1000, 512, {{0, 0xF000, 0xF000, false}, {0xF000, 512, 512, false}, {0xF200, 488, 512, true}}},
        PlanCase{0xF000 + 1000, 64, {{0, 0xF000, 0xF000, false}, {0xF000, 960, 960, false}, {0xF3C0, 40, 64, true}}},
        PlanCase{2 * 0xF000, 512, {{0, 0xF000, 0xF000, false}, {0xF000, 0xF000, 0xF000, false}}},
        PlanCase{1024, 512, {{0, 1024, 1024, false}}},
        PlanCase{8, 512, {{0, 8, 512, true}}},
        PlanCase{0, 512, {}},
        // Packet size 0 (never read, or the port was closed): no division, the rest as one piece.
        PlanCase{0xF000 + 1000, 0, {{0, 0xF000, 0xF000, false}, {0xF000, 1000, 1000, false}}}));

TEST_F(GL841ProtocolTest, ShadingUploadUsesOneLockAndABouncePacketForTheTail) {
    InitWarm();
    std::vector<uint8_t> data(0xF000 + 1000);
    std::iota(data.begin(), data.end(), uint8_t{0});
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Shading, 0x2A00, data.data(), static_cast<uint32_t>(data.size())));
    EXPECT_EQ(port.releases, 1) << "the lock is held over the whole sequence";
    const Requests log = port.Take();
    const Requests expectedStart = {Out(0x83, {0x2B, 0xA0}), Out(0x83, {0x2A, 0x02}), Select(0x3C),
                                    Header(true, 0xF000)};
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(Requests(log.begin(), log.begin() + 4), expectedStart);
    EXPECT_EQ(log[4], BulkOut(std::vector<uint8_t>(data.begin(), data.begin() + 0xF000)));
    EXPECT_EQ(log[5], Header(true, 512));
    EXPECT_EQ(log[6], BulkOut(std::vector<uint8_t>(data.begin() + 0xF000, data.begin() + 0xF200)));
    EXPECT_EQ(log[7], Header(true, 512));
    std::vector<uint8_t> bounce(data.begin() + 0xF200, data.end());
    bounce.resize(512, 0);
    EXPECT_EQ(log[8], BulkOut(bounce));

    // A shorter tail goes out with the bounce buffer's earlier bytes after it.
    const uint8_t tail[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Shading, 0, const_cast<uint8_t*>(tail), 4));
    std::copy(std::begin(tail), std::end(tail), bounce.begin());
    EXPECT_EQ(port.Take().back(), BulkOut(bounce));
}

TEST_F(GL841ProtocolTest, GammaUploadAddressesGammaMemory) {
    InitWarm();
    std::vector<uint8_t> table(512, 0x11);
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Gamma, 256, table.data(), 512));
    EXPECT_EQ(port.TakeShape(), (Requests{Out(0x83, {0x5C, 0x00}), Out(0x83, {0x5B, 0x01}), Select(0x28),
                                          Header(true, 512), BulkOutOf(512)}));
}

TEST_F(GL841ProtocolTest, MemoryReadPrimesThePortAndCopiesTheTailBack) {
    InitWarm(0x08);
    std::vector<uint8_t> out(100, 0xEE);
    ASSERT_TRUE(chip.BulkIO(false, GL841Memory::Shading, 0, out.data(), 100));
    EXPECT_EQ(port.Take(), (Requests{Out(0x83, {0x2B, 0x00}), Out(0x83, {0x2A, 0x00}), Select(0x45), In(0x84),
                                     Select(0x45), Header(false, 64), BulkIn(64), Header(false, 64), BulkIn(64)}));
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], static_cast<uint8_t>(i)) << i;  // the port delivers 0, 1, 2, ...
    }
}

TEST_F(GL841ProtocolTest, GammaReadUsesItsOwnPort) {
    InitWarm();
    std::vector<uint8_t> out(512);
    ASSERT_TRUE(chip.BulkIO(false, GL841Memory::Gamma, 0, out.data(), 512));
    const Requests log = port.Take();
    EXPECT_EQ(Requests(log.begin() + 2, log.begin() + 5), (Requests{Select(0x4E), In(0x84), Select(0x4E)}));
}

TEST_F(GL841ProtocolTest, AnyFailedRequestFailsTheTransferAndEndsIt) {
    InitWarm();
    std::vector<uint8_t> data(0xF000 + 1000);
    for (size_t failing : {0u, 2u, 3u, 4u, 8u}) {
        port.failAt = failing;
        EXPECT_FALSE(chip.BulkIO(true, GL841Memory::Shading, 0, data.data(), static_cast<uint32_t>(data.size())))
            << "request " << failing;
        EXPECT_EQ(port.Take().size(), failing + 1);
    }
}

TEST_F(GL841ProtocolTest, ReadBulkChunkedReadsWholePiecesAfterTheirHeaders) {
    InitWarm();
    std::vector<uint8_t> out(2 * 0xF000 + 10);
    ASSERT_TRUE(chip.ReadBulkChunked(out.data(), static_cast<uint32_t>(out.size()), true));
    EXPECT_EQ(port.Take(), (Requests{Select(0x45), Header(false, 0xF000), BulkIn(0xF000), Header(false, 0xF000),
                                     BulkIn(0xF000), Header(false, 10), BulkIn(10)}));
    port.failAt = 2;
    EXPECT_FALSE(chip.ReadBulkChunked(out.data(), 100, true));
}

struct ClockCase {
    uint32_t hz;
    int code;  // -1: refused
};

class SetClockTest : public GL841ProtocolTest, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(SetClockTest, SendsTheClockCode) {
    const ClockCase& c = GetParam();
    EXPECT_EQ(chip.SetClock(c.hz), c.code >= 0);
    if (c.code >= 0) {
        EXPECT_EQ(port.Take(), (Requests{Out(0x8C, {static_cast<uint8_t>(c.code)}, 0x10)}));
    } else {
        EXPECT_TRUE(port.Take().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Clocks, SetClockTest,
                         ::testing::Values(ClockCase{12000000, 0x80}, ClockCase{24000000, 0x90},
                                           ClockCase{30000000, 0xA0}, ClockCase{40000000, 0xD0},
                                           ClockCase{48000000, 0xB0}, ClockCase{60000000, 0xC0},
                                           ClockCase{36000000, -1}, ClockCase{0, -1}));

struct GpioCase {
    int pin;
    bool enable;  // SetGpioEnable, else SetGpioValue
    int reg;      // -1: not a pin of that map
    uint8_t bit;
};

class GpioTest : public GL841ProtocolTest, public ::testing::WithParamInterface<GpioCase> {};

TEST_P(GpioTest, DrivesItsBitAtOnce) {
    const GpioCase& c = GetParam();
    if (c.enable) {
        chip.SetGpioEnable(c.pin, true);
    } else {
        chip.SetGpioValue(c.pin, true);
    }
    if (c.reg < 0) {
        EXPECT_TRUE(port.Take().empty());
        return;
    }
    const auto reg = static_cast<uint8_t>(c.reg);
    const auto value = static_cast<uint8_t>(1u << c.bit);
    EXPECT_EQ(port.Take(), (Requests{Out(0x83, {reg, value})}));
    if (!c.enable) {
        port.chip[reg] = value;
        EXPECT_TRUE(chip.ReadGpio(c.pin));
        EXPECT_EQ(port.Take(), (Requests{Select(reg), In(0x84)}));
        port.chip[reg] = static_cast<uint8_t>(~value);
        EXPECT_FALSE(chip.ReadGpio(c.pin));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pins, GpioTest,
    ::testing::Values(GpioCase{1, true, 0x6F, 0}, GpioCase{8, true, 0x6F, 7}, GpioCase{9, true, 0x6E, 0},
                      GpioCase{16, true, 0x6E, 7}, GpioCase{17, true, -1, 0}, GpioCase{0, true, -1, 0},
                      GpioCase{1, false, 0x6D, 0}, GpioCase{8, false, 0x6D, 7}, GpioCase{9, false, 0x6C, 0},
                      GpioCase{16, false, 0x6C, 7}, GpioCase{17, false, 0x6B, 0}, GpioCase{18, false, 0x6B, 1},
                      GpioCase{19, false, -1, 0}, GpioCase{0, false, -1, 0}));

TEST_F(GL841ProtocolTest, ReadGpioOutsideThePinsSendsNothing) {
    EXPECT_FALSE(chip.ReadGpio(0));
    EXPECT_FALSE(chip.ReadGpio(19));
    EXPECT_TRUE(port.log.empty());
}

TEST_F(GL841ProtocolTest, GpioWriteKeepsTheOtherPinsOfItsRegister) {
    port.chip[0x6D] = 0x81;
    InitWarm();
    chip.SetGpioValue(2, true);
    chip.SetGpioValue(1, false);
    EXPECT_EQ(port.Take(), (Requests{Out(0x83, {0x6D, 0x83}), Out(0x83, {0x6D, 0x82})}));
}

TEST_F(GL841ProtocolTest, FrontEndWritesGoThroughTheSerialPortRegisters) {
    ASSERT_TRUE(chip.WriteAfeRegister(0x28, 0x1234));
    EXPECT_EQ(port.Take(), (Requests{Out(0x83, {0x51, 0x28, 0x3A, 0x12, 0x3B, 0x34})}));

    frontEnd.SetController(&chip);
    ASSERT_TRUE(frontEnd.WriteAllRegisters());
    Requests expected = {Out(0x83, {0x51, 0x04, 0x3A, 0x00, 0x3B, 0x80}), Out(0x83, {0x51, 0x05, 0x3A, 0x00, 0x3B, 0x01})};
    for (const AfeRegisterEntry& e : frontEnd.Registers()) {
        expected.push_back(Out(0x83, {0x51, static_cast<uint8_t>(e.address), 0x3A, static_cast<uint8_t>(e.value >> 8),
                                      0x3B, static_cast<uint8_t>(e.value)}));
    }
    EXPECT_EQ(port.Take(), expected);
}

TEST_F(GL841ProtocolTest, FrontEndImageGoesUnderOneLock) {
    const AfeRegisterEntry image[] = {{0x01, 0x35}, {0x20, 0x180}};
    ASSERT_TRUE(chip.WriteAfeRegisters(image));
    EXPECT_EQ(port.Take(), (Requests{Out(0x83, {0x51, 0x01, 0x3A, 0x00, 0x3B, 0x35}),
                                     Out(0x83, {0x51, 0x20, 0x3A, 0x01, 0x3B, 0x80})}));
}

TEST_F(GL841ProtocolTest, ReadStatusClassifiesAndProbesShadingMemory) {
    InitWarm();
    for (auto [status, expected] : {std::pair{0x10, 1}, {0x11, 2}, {0x12, 2}, {0x00, 1}}) {
        port.chip[0x41] = static_cast<uint8_t>(status);
        EXPECT_EQ(chip.ReadStatus(), expected) << status;
        EXPECT_EQ(port.TakeShape(), (Requests{Select(0x41), In(0x84), Out(0x83, {0x2B, 0x00}), Out(0x83, {0x2A, 0x00}),
                                              Select(0x45), In(0x84), Select(0x45), Header(false, 512), BulkIn(512)}));
    }
    port.failAt = 1;
    EXPECT_EQ(chip.ReadStatus(), 0) << "a failed status read";
    port.Take();
    port.failAt = 8;
    port.throwOnFail = true;
    EXPECT_EQ(chip.ReadStatus(), 0) << "a device exception during the probe";
    EXPECT_EQ(port.lockDepth, 0);
}

TEST_F(GL841ProtocolTest, PacketSizeFollowsTheChipInformation) {
    port.chipInfo = 0x08;
    EXPECT_EQ(chip.GetBulkPacketSize(), 64);
    port.chipInfo = 0xF7;
    EXPECT_EQ(chip.GetBulkPacketSize(), 512);
    port.Take();
    port.failAt = 0;
    EXPECT_EQ(chip.GetBulkPacketSize(), 0);
}

TEST_F(GL841ProtocolTest, BufferedWordsCombineThreeRegisters) {
    port.chip[0x42] = 0xF3;  // only the low four bits count
    port.chip[0x43] = 0x02;
    port.chip[0x44] = 0x01;
    EXPECT_EQ(chip.ReadBufferedWords(), 3u * 65536 + 0x201);
    EXPECT_EQ(port.Take(), (Requests{Select(0x42), In(0x84), Select(0x43), In(0x84), Select(0x44), In(0x84)}));
}

TEST_F(GL841ProtocolTest, ReadScanDataLimitsAndFailures) {
    InitWarm();
    int us = -1;
    EXPECT_TRUE(chip.ReadScanData(0, &us));
    EXPECT_EQ(us, 0);
    EXPECT_FALSE(chip.ReadScanData(102401, &us));
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(chip.ReadScanData(102400, &us));
    EXPECT_GE(us, 0);
    port.Take();
    port.failAt = 5;
    EXPECT_FALSE(chip.ReadScanData(1000, &us)) << "a failed transfer is reported";
}

TEST_F(GL841ProtocolTest, LinesScannedCountsColourLinesPerColour) {
    port.chip[0x4D] = 30;
    EXPECT_EQ(chip.GetLinesScanned(), 30);
    chip.SetColorMode(2);
    EXPECT_EQ(chip.GetLinesScanned(), 10);
}

TEST_F(GL841ProtocolTest, MotorBusyAndPowerBitAreReadFromTheChip) {
    port.chip[0x41] = 0x11;
    port.chip[0x06] = 0x10;
    EXPECT_TRUE(chip.IsMotorBusy());
    EXPECT_TRUE(chip.IsPowerBitSet());
    port.chip[0x41] = 0x10;
    port.chip[0x06] = 0xEF;
    EXPECT_FALSE(chip.IsMotorBusy());
    EXPECT_FALSE(chip.IsPowerBitSet());
}

TEST(ControllerLifeTest, DeletingTheControllerLeavesItsPartsAlive) {
    RecordingPort port;
    WM8199GL frontEnd;
    {
        std::unique_ptr<Controller> controller = std::make_unique<GL841>(&frontEnd, &port, false);
        ASSERT_TRUE(controller->Init());
    }
    EXPECT_TRUE(port.IsOpen());
    port.Take();
    // A new controller takes the front end over at its Init.
    GL841 next{&frontEnd, &port, false};
    ASSERT_TRUE(next.Init());
    EXPECT_EQ(frontEnd.GetController(), &next);
    EXPECT_TRUE(frontEnd.WriteAllRegisters());
}

TEST_F(GL841ProtocolTest, ResetPipesForwardsToThePort) {
    EXPECT_TRUE(chip.ResetPipes());
    EXPECT_EQ(port.Take(), (Requests{Reset()}));
}

}  // namespace
