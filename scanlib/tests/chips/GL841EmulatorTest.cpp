// The GL841 driver against the virtual scanner: the requests it sends as the
// device logs them, where its writes land, and no protocol violations.
#include "chips/CISModule.h"
#include "chips/GL841.h"
#include "chips/WM8199.h"
#include "device/DevicePortUsbscan.h"
#include "EmulatorPort.h"

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <numeric>
#include <string>

namespace {

using emulator::TransferKind;

struct Sent {
    TransferKind kind;
    uint32_t code;
    uint32_t index;
    std::vector<uint8_t> data;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    os << int(s.kind) << ":" << std::hex << s.code << "/" << s.index << " [";
    for (uint8_t b : s.data) {
        os << int(b) << " ";
    }
    return os << "]" << std::dec;
}

Sent Out(uint32_t request, std::vector<uint8_t> data, uint32_t index = 0) {
    return {TransferKind::ControlOut, request, index, std::move(data)};
}
Sent In(uint32_t request, uint8_t value) { return {TransferKind::ControlIn, request, 0, {value}}; }

// Either straight onto the device, or through the usbscan port and the
// platform's device file to the device serving under the machine's root.
enum class Transport { Direct, Usbscan };

class GL841EmulatorTest : public ::testing::TestWithParam<Transport> {
protected:
    std::unique_ptr<DevicePort> MakePort() {
        if (GetParam() == Transport::Direct) {
            return std::make_unique<EmulatorPort>(scanner);
        }
        scanner.Serve(platform::testing::Root());
        auto usbscan = std::make_unique<DevicePortUsbscan>();
        int matched = -1;
        EXPECT_TRUE(usbscan->Open({DeviceId{0x17C4, 0x00F1, L"Tessaline Corp.", L"RM410"}}, &matched));
        return usbscan;
    }

    // The vendor requests of the device's log since the last call.
    std::vector<Sent> TakeVendorRequests() {
        std::vector<Sent> out;
        for (const auto& e : scanner.RequestLog()) {
            if (e.kind == TransferKind::ControlOut || e.kind == TransferKind::ControlIn) {
                out.push_back({e.kind, e.code, e.index, e.data});
            }
        }
        scanner.ClearLogs();
        return out;
    }

    void ExpectNoViolations() {
        for (const auto& v : scanner.Violations()) {
            ADD_FAILURE() << v.rule << ": " << v.text;
        }
    }

    emulator::VirtualScanner scanner{"RM410"};
    std::unique_ptr<DevicePort> port = MakePort();
    WM8199GL frontEnd;
    GL841 chip{&frontEnd, port.get(), false};
    CM651 module;
    const std::array<float, 3> rates{1000.0f, 1000.0f, 1000.0f};
};

TEST_P(GL841EmulatorTest, InitOnAFreshChipSendsTheClockThenTheImageInAddressOrder) {
    ASSERT_FALSE(chip.IsPowerBitSet());
    scanner.ClearLogs();
    ASSERT_TRUE(chip.Init());
    const std::vector<Sent> sent = TakeVendorRequests();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], Out(0x83, {0x06}));
    EXPECT_EQ(sent[1], In(0x84, 0x00));
    EXPECT_EQ(sent[2], Out(0x8C, {0xA0}, 0x10));
    int last = -1;
    size_t i = 3;
    for (; i < sent.size() && sent[i].data.size() > 1; ++i) {
        ASSERT_EQ(sent[i].code, 0x83u);
        for (size_t p = 0; p < sent[i].data.size(); p += 2) {
            EXPECT_GT(sent[i].data[p], last) << "address order";
            last = sent[i].data[p];
        }
    }
    EXPECT_EQ(last, 0x87);
    EXPECT_EQ(sent.size() - i, 11u) << "five GPIO refreshes and the packet-size read";
    EXPECT_EQ(sent.back(), In(0x8E, 0x00));
    EXPECT_EQ(scanner.ClockHz(), 30000000u);
    EXPECT_EQ(scanner.Register(0x06), 0xA8);
    EXPECT_EQ(scanner.Register(0x2E), 0x82);
    EXPECT_EQ(chip.PacketSize(), 512);
    ExpectNoViolations();
}

TEST_P(GL841EmulatorTest, InitOnAWarmChipOnlyReads) {
    ASSERT_TRUE(chip.Init());
    chip.SetCisModule(&module, 2, rates);
    ASSERT_TRUE(chip.IsPowerBitSet());
    scanner.ClearLogs();
    GL841 again{&frontEnd, port.get(), false};
    ASSERT_TRUE(again.Init());
    for (const Sent& s : TakeVendorRequests()) {
        EXPECT_TRUE(s.kind == TransferKind::ControlIn || s.data.size() == 1) << "a write: " << s;
    }
    EXPECT_EQ(again.RegisterValue(0x06), 0xA8) << "the shadow is taken as the chip's state";
    ExpectNoViolations();
}

TEST_P(GL841EmulatorTest, GpioPinsLandOnTheBoardLines) {
    ASSERT_TRUE(chip.Init());
    chip.SetGpioEnable(13, true);
    chip.SetGpioValue(13, true);
    chip.SetGpioEnable(4, true);
    chip.SetGpioValue(4, true);
    chip.SetGpioValue(4, false);
    const emulator::GpioState gpio = scanner.Gpio();
    EXPECT_TRUE(gpio.directions & (1u << 12));
    EXPECT_TRUE(gpio.latches & (1u << 12));
    EXPECT_TRUE(gpio.directions & (1u << 3));
    EXPECT_FALSE(gpio.latches & (1u << 3));
    EXPECT_EQ(chip.ReadGpio(13), ((gpio.levels >> 12) & 1u) != 0);
    ExpectNoViolations();
}

TEST_P(GL841EmulatorTest, FrontEndRegistersArriveThroughTheSerialPort) {
    ASSERT_TRUE(chip.Init());
    frontEnd.SetOffset(2, -28);  // chip channel 0
    frontEnd.SetGain(0, 2.0f);   // chip channel 1
    frontEnd.SetReferenceVoltage(7);
    ASSERT_TRUE(frontEnd.WriteAllRegisters());
    EXPECT_EQ(scanner.AfeRegister(0x20), 100);
    EXPECT_EQ(scanner.AfeRegister(0x29), 179);
    EXPECT_EQ(scanner.AfeRegister(0x03), 0x17);
    EXPECT_EQ(scanner.AfeRegister(0x06), 7);
    ExpectNoViolations();
}

TEST_P(GL841EmulatorTest, MemoryUploadsLandAtTheirWords) {
    ASSERT_TRUE(chip.Init());
    chip.SetCisModule(&module, 2, rates);
    std::vector<uint8_t> shading(0xF000 + 1000);
    for (size_t i = 0; i < shading.size(); ++i) {
        shading[i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Shading, 0x5500, shading.data(), static_cast<uint32_t>(shading.size())));
    const std::vector<uint16_t> words = scanner.ShadingWords(0x5500, static_cast<uint32_t>(shading.size() / 2));
    for (size_t w = 0; w < words.size(); ++w) {
        ASSERT_EQ(words[w], shading[2 * w] | (shading[2 * w + 1] << 8)) << "word " << w;
    }

    std::vector<uint8_t> gamma(512);
    std::iota(gamma.begin(), gamma.end(), uint8_t{1});
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Gamma, 256, gamma.data(), 512));
    const std::vector<uint16_t> gammaWords = scanner.GammaWords(256, 256);
    EXPECT_EQ(gammaWords.front(), 0x0201);
    EXPECT_EQ(gammaWords.back(), gamma[510] | (gamma[511] << 8));

    std::vector<uint8_t> back(shading.size());
    ASSERT_TRUE(chip.BulkIO(false, GL841Memory::Shading, 0x5500, back.data(), static_cast<uint32_t>(back.size())));
    EXPECT_EQ(back, shading);
    ExpectNoViolations();
}

TEST_P(GL841EmulatorTest, StatusAndPacketSize) {
    ASSERT_TRUE(chip.Init());
    EXPECT_EQ(chip.ReadStatus(), 1);
    EXPECT_EQ(chip.GetBulkPacketSize(), 512);
    EXPECT_FALSE(chip.IsMotorBusy());
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Transports, GL841EmulatorTest, ::testing::Values(Transport::Direct, Transport::Usbscan),
                         [](const ::testing::TestParamInfo<Transport>& p) {
                             return std::string(p.param == Transport::Direct ? "Direct" : "Usbscan");
                         });

TEST(GL841EmulatorFullSpeedTest, SmallPacketsComeFromTheChipInformation) {
    emulator::VirtualScanner scanner{"RM410", {{"packet_size", "64"}}};
    EmulatorPort port{scanner};
    GL841 chip{nullptr, &port, false};
    ASSERT_TRUE(chip.Init());
    EXPECT_EQ(chip.PacketSize(), 64);
    std::vector<uint8_t> data(1000, 0x5A);
    ASSERT_TRUE(chip.BulkIO(true, GL841Memory::Shading, 0, data.data(), 1000));
    EXPECT_EQ(scanner.ShadingWords(499, 1).front(), 0x5A5A);
    EXPECT_TRUE(scanner.Violations().empty());
}

}  // namespace
