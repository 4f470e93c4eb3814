// GL125 register access and transfers against a recording port: the two
// banks, the read marker, field byte order, staged writes, bulk headers,
// pins, closed ports, a lock that cannot be had, and the counters.
#include "chips/GL125.h"
#include "chips/WM8199.h"
#include "device/DeviceIOException.h"
#include "GL125RecordingPort.h"

#include <gtest/gtest.h>

#include <array>

namespace {

class GL125RegisterTest : public ::testing::Test {
protected:
    Gl125RecordingPort port;
    WM8199GL frontEnd;
    GL125 chip{&frontEnd, &port};
};

TEST_F(GL125RegisterTest, ReadsUseTheBankRequestAndIndexAndNeedTheMarker) {
    port.chip[0x06] = 0x10;
    port.chip[0x10B] = 0x07;
    uint8_t value = 0;
    ASSERT_TRUE(chip.ReadRegister(0x06, &value));
    EXPECT_EQ(value, 0x10);
    ASSERT_TRUE(chip.ReadRegister(0x10B, &value));
    EXPECT_EQ(value, 0x07);
    EXPECT_EQ(port.Take(), (std::vector{RegRead(0x06), RegRead(0x10B)}));
    EXPECT_EQ(port.Take(), std::vector<Gl125Request>{});
    EXPECT_EQ(RegRead(0x101).index, 0x122);

    port.marker = 0x00;
    port.chip[0x06] = 0x33;
    value = 0xEE;
    EXPECT_FALSE(chip.ReadRegister(0x06, &value));
    EXPECT_EQ(value, 0xEE);
    EXPECT_EQ(chip.RegisterValue(0x06), 0x10) << "a failed read leaves the shadow";
    EXPECT_FALSE(chip.ReadField(gl125::kPowerBit).has_value());
    EXPECT_FALSE(chip.IsPowerBitSet());
    EXPECT_TRUE(port.allLocked);
}

TEST_F(GL125RegisterTest, WritesUseTheBankRequest) {
    ASSERT_TRUE(chip.WriteRegister(0x114, 0x82));
    ASSERT_TRUE(chip.WriteRegister(0x31, 0x01));
    EXPECT_EQ(port.Take(), (std::vector{RegWrite(0x114, 0x82), RegWrite(0x31, 0x01)}));
    EXPECT_EQ(chip.RegisterValue(0x114), 0x82);
}

TEST_F(GL125RegisterTest, AFieldIsWrittenFromItsNamedRegisterDownMergedWithTheOtherBits) {
    port.chip[0x25] = 0xF0;
    chip.ReadRegister(0x25, nullptr);
    port.Take();
    ASSERT_TRUE(chip.SetField(gl125::kLineCount, 0x12345, true));
    EXPECT_EQ(port.Take(), (std::vector{RegWrite(0x27, 0x45), RegWrite(0x26, 0x23), RegWrite(0x25, 0xF1)}));
    EXPECT_EQ(chip.ShadowField(gl125::kLineCount), 0x12345u);
}

TEST_F(GL125RegisterTest, StagedRegistersGoLowBankFirstInPacketsOfSix) {
    for (uint16_t reg = 0x20; reg < 0x27; ++reg) {
        chip.SetField({reg, 8, 0}, reg, false);
    }
    chip.SetField(gl125::kThresholdHigh, 0x99, false);
    EXPECT_TRUE(chip.IsRegisterDirty(0x114));
    ASSERT_TRUE(chip.FlushRegisters());
    const std::vector<Gl125Request> sent = port.Take();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], CtlOut(0x83, {0x20, 0x20, 0x21, 0x21, 0x22, 0x22, 0x23, 0x23, 0x24, 0x24, 0x25, 0x25}));
    EXPECT_EQ(sent[1], CtlOut(0x83, {0x26, 0x26}));
    EXPECT_EQ(sent[2], CtlOut(0x183, {0x14, 0x99}));
    EXPECT_FALSE(chip.IsRegisterDirty(0x114));
    EXPECT_TRUE(chip.FlushRegisters());
    EXPECT_TRUE(port.Take().empty()) << "nothing dirty, nothing sent";
}

TEST_F(GL125RegisterTest, ABulkTailTravelsAsOneWholePacketWithItsOwnHeader) {
    port.chipInfo = 0x08;
    ASSERT_TRUE(chip.Init());
    ASSERT_EQ(chip.PacketSize(), 64);
    port.Take();
    std::array<uint8_t, 100> data{};
    ASSERT_TRUE(chip.BulkRead(0x10014000, data));
    EXPECT_EQ(port.Take(), (std::vector{BulkHeader(false, 0x10014000, 64), BulkInOf(64),
                                        BulkHeader(false, 0x10014040, 64), BulkInOf(64)}));
    EXPECT_EQ(data[99], 35) << "36 bytes of the second packet copied out";

    std::vector<uint8_t> big(0xF000 + 130, 0x5A);
    ASSERT_TRUE(chip.BulkWrite(0x10020000, big));
    const std::vector<Gl125Request> sent = port.Take();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0], BulkHeader(true, 0x10020000, 0xF000));
    EXPECT_EQ(sent[2], BulkHeader(true, 0x1002F000, 128));
    EXPECT_EQ(sent[4], BulkHeader(true, 0x1002F080, 64));
    EXPECT_EQ(sent[5].length, 64);
    EXPECT_TRUE(port.allLocked);
}

TEST_F(GL125RegisterTest, ScanDataAboveTheLimitTouchesNothing) {
    int us = -1;
    EXPECT_FALSE(chip.ReadScanData(102401, &us));
    EXPECT_TRUE(chip.ReadScanData(0, &us));
    EXPECT_EQ(us, 0);
    EXPECT_TRUE(port.Take().empty());
}

TEST_F(GL125RegisterTest, PinsMapOntoTheirBanks) {
    struct Case {
        int pin;
        uint16_t valueReg;
        uint16_t enableReg;
        uint8_t bit;
    };
    for (const Case c : {Case{1, 0x31, 0x34, 0}, Case{13, 0x32, 0x35, 4}, Case{21, 0x33, 0x36, 4},
                         Case{27, 0x37, 0x38, 2}, Case{28, 0x37, 0x38, 3}, Case{31, 0x37, 0x38, 6},
                         Case{32, 0x37, 0x38, 7}}) {
        chip.SetGpioValue(c.pin, true);
        chip.SetGpioEnable(c.pin, true);
        EXPECT_EQ(port.Take(), (std::vector{RegWrite(c.valueReg, static_cast<uint8_t>(1 << c.bit)),
                                            RegWrite(c.enableReg, static_cast<uint8_t>(1 << c.bit))}))
            << "pin " << c.pin;
        EXPECT_TRUE(chip.ReadGpio(c.pin));
        chip.SetGpioValue(c.pin, false);
        chip.SetGpioEnable(c.pin, false);
        port.Take();
    }
    for (int pin : {0, 22, 26, 29, 33}) {
        chip.SetGpioValue(pin, true);
        chip.SetGpioEnable(pin, true);
        EXPECT_FALSE(chip.ReadGpio(pin));
    }
    EXPECT_TRUE(port.Take().empty());
}

TEST_F(GL125RegisterTest, AfeWritesSendAddressThenValueLowThenHigh) {
    const AfeRegisterEntry image[] = {{3, 0x180}, {0x28, 75}};
    ASSERT_TRUE(chip.WriteAfeRegisters(image));
    EXPECT_EQ(port.Take(), (std::vector{RegWrite(0x51, 3), RegWrite(0x5E, 0x80), RegWrite(0x5D, 0x01),
                                        RegWrite(0x51, 0x28), RegWrite(0x5E, 75), RegWrite(0x5D, 0x00)}));
}

TEST_F(GL125RegisterTest, AClosedPortAnswersNothingAndSendsNothing) {
    port.open = false;
    EXPECT_EQ(chip.ReadStatus(), 0);
    EXPECT_EQ(chip.GetBulkPacketSize(), 0);
    EXPECT_FALSE(chip.IsMotorBusy());
    EXPECT_EQ(chip.GetLinesScanned(), 0);
    EXPECT_FALSE(chip.ReadRegister(0x06, nullptr));
    EXPECT_FALSE(chip.WriteRegister(0x06, 1));
    std::array<uint8_t, 8> data{};
    EXPECT_FALSE(chip.BulkRead(0x10000000, data));
    int got = 7;
    std::array<uint8_t, 64> lines{};
    EXPECT_FALSE(chip.ReadImageLines(lines.data(), 1, &got));
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(port.Take().empty());
}

TEST_F(GL125RegisterTest, ALockThatCannotBeHadFailsAsBusyWithoutSending) {
    port.lockFails = true;
    try {
        chip.WriteRegister(0x06, 1);
        FAIL() << "no exception";
    } catch (const DeviceIOException& e) {
        EXPECT_EQ(e.Code(), DeviceIOException::kBusy);
    }
    EXPECT_THROW(chip.SetupScan(), DeviceIOException);
    EXPECT_EQ(chip.ReadStatus(), 0);
    EXPECT_TRUE(port.Take().empty());
}

TEST_F(GL125RegisterTest, StatusReadsTheStatusByteAndProbesOutsideTheImageBuffer) {
    port.chipInfo = 0;
    ASSERT_TRUE(chip.Init());
    port.Take();
    port.chip[0x101] = 0x02;
    port.image.assign(1024, 0x77);
    EXPECT_EQ(chip.ReadStatus(), 2);
    const std::vector<Gl125Request> sent = port.Take();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], RegRead(0x101));
    EXPECT_EQ(sent[1], BulkHeader(false, 0x01000000, 512));
    EXPECT_EQ(port.image.size(), 1024u) << "no image data taken from a running scan";
    port.chip[0x101] = 0x10;
    port.marker = 0;
    EXPECT_EQ(chip.ReadStatus(), 1) << "the status byte is taken without the marker";
}

TEST_F(GL125RegisterTest, ALinesScannedCounterThatAdvancesBetweenByteReadsIsNeverOverstated) {
    uint32_t counter = 0x0FFFE;
    auto show = [&] {
        port.chip[0x10B] = static_cast<uint8_t>((counter >> 16) & 0x0F);
        port.chip[0x10C] = static_cast<uint8_t>(counter >> 8);
        port.chip[0x10D] = static_cast<uint8_t>(counter);
    };
    port.beforeRead = [&](uint16_t reg) {
        if (reg >= 0x10B && reg <= 0x10D) {
            ++counter;
            show();
        }
    };
    for (int i = 0; i < 8; ++i) {
        const auto before = counter;
        const auto read = static_cast<uint32_t>(chip.GetLinesScanned());
        EXPECT_LE(read, counter) << "started at " << before;
        EXPECT_GE(read + 8, before) << "started at " << before;
    }
    port.beforeRead = nullptr;
    port.marker = 0;
    EXPECT_EQ(chip.GetLinesScanned(), 0) << "a failed count read counts nothing";
}

TEST_F(GL125RegisterTest, SettersTakeChannelsZeroToThreeAndGammaTablesOfNoneOr256) {
    const std::array<int32_t, 4> offsets{1, 2, 3, 4};
    for (int channel : {0, 1, 2, 3}) {
        chip.SetShadingOffsets(channel, offsets);
        EXPECT_EQ(chip.ShadingTable(channel).size(), 7u) << channel;
        EXPECT_EQ(chip.ShadingTable(channel)[6] & 0xFFFF, 4u);
    }
    chip.SetShadingOffsets(4, offsets);
    chip.SetShadingOffsets(-1, offsets);
    const std::array<float, 2> gains{5.0f, 1.0f};
    port.chip[0x06] = 0x08;
    chip.SetShadingGains(3, gains);
    EXPECT_EQ(chip.ShadingTable(3)[3] >> 16, 65535u);
    EXPECT_EQ(chip.ShadingTable(3)[4] >> 16, 16384u);
    port.chip[0x06] = 0x00;
    chip.SetShadingGains(3, gains);
    EXPECT_EQ(chip.ShadingTable(3)[3] >> 16, 40960u);
    EXPECT_EQ(chip.ShadingTable(3)[3] & 0xFFFF, 1u) << "offsets kept";

    std::vector<uint16_t> table(256, 7);
    for (int channel : {0, 1, 2, 3}) {
        chip.SetGammaTable(channel, table);
        EXPECT_EQ(chip.GammaTable(channel).size(), 256u);
    }
    chip.SetGammaTable(4, table);
    const std::vector<uint16_t> shortTable(255, 1);
    const std::vector<uint16_t> longTable(257, 1);
    chip.SetGammaTable(0, shortTable);
    chip.SetGammaTable(1, longTable);
    EXPECT_EQ(chip.GammaTable(0), table);
    EXPECT_EQ(chip.GammaTable(1), table);
    chip.SetGammaTable(2, {});
    EXPECT_TRUE(chip.GammaTable(2).empty());
}

TEST_F(GL125RegisterTest, ExposureIsAPercentOfTheMaximum) {
    EXPECT_TRUE(chip.SetExposurePercent(0, 0.0f));
    EXPECT_FALSE(chip.SetExposurePercent(0, -0.1f));
    EXPECT_FALSE(chip.SetExposurePercent(0, 100.1f));
    EXPECT_FALSE(chip.SetExposurePercent(3, 50.0f));
    EXPECT_EQ(chip.GetExposurePercent(3), 0.0f);
}

}  // namespace
