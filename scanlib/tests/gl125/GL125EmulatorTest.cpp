// The GL125 driver against the virtual scanner's GL125 boards through the
// usbscan port: the requests of Init on fresh and warm chips, both register
// banks, bulk headers, scans at odd widths in every mode unpadded plane by
// plane, shading as the chip reads it, and feed distances. No protocol
// violations.
#include "chips/CISModule.h"
#include "chips/GL125.h"
#include "chips/GL125ImageLayout.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "device/DevicePortUsbscan.h"
#include "os/OSFunctions.h"

#include <emulator/VirtualScanner.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

namespace {

using emulator::TransferKind;

struct Board {
    const char* name;
    uint16_t product;
    bool wideSensor;  // 600 dpi optical
};

std::ostream& operator<<(std::ostream& os, const Board& b) { return os << b.name; }

class GL125EmulatorTest : public ::testing::TestWithParam<Board> {
protected:
    void SetUp() override {
        scanner.Serve(platform::testing::Root());
        int matched = -1;
        ASSERT_TRUE(port.Open({DeviceId{0x17C4, GetParam().product, L"Tessaline Corp.", L"RM"}}, &matched));
    }

    void TearDown() override {
        for (const auto& v : scanner.Violations()) {
            ADD_FAILURE() << v.rule << ": " << v.text;
        }
    }

    CISModule& Module() { return GetParam().wideSensor ? static_cast<CISModule&>(wide) : narrow; }
    int Optical() const { return GetParam().wideSensor ? 600 : 300; }

    void Attach() {
        ASSERT_TRUE(chip.Init());
        // The board's sensor select line: 0 on the 600-dpi board, 1 on the
        // 300-dpi one.
        chip.SetGpioEnable(21, true);
        chip.SetGpioValue(21, !GetParam().wideSensor);
        chip.SetCisModule(&Module(), 2, rates);
        chip.SetMotor(&motor);
        chip.SetFeedRate(2.0f);
    }

    struct Sent {
        TransferKind kind;
        uint32_t code;
        uint32_t index;
        std::vector<uint8_t> data;
    };

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

    template <typename Done>
    static bool WaitFor(Done done) {
        for (int i = 0; i < 2000; ++i) {
            if (done()) {
                return true;
            }
            OSSleep(5);
        }
        return done();
    }

    emulator::VirtualScanner scanner{GetParam().name};
    DevicePortUsbscan port;
    WM8199GL frontEnd;
    GL125 chip{&frontEnd, &port};
    CM218_02 wide;
    CM215_04_300 narrow;
    FAN8200D_2 motor;
    const std::array<float, 3> rates{250.0f, 250.0f, 250.0f};
};

TEST_P(GL125EmulatorTest, InitOnAFreshChipRestartsTheClockLogicSetsTheClockAndSendsTheImage) {
    scanner.ClearLogs();
    ASSERT_TRUE(chip.Init());
    const std::vector<Sent> sent = TakeVendorRequests();
    ASSERT_GT(sent.size(), 8u);
    EXPECT_EQ(sent[0].code, 0x8Eu);
    EXPECT_EQ(sent[0].index, 0x0622u);
    for (size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(sent[i].code, 0x83u);
        EXPECT_EQ(sent[i].data.at(0), 0x0B);
    }
    EXPECT_EQ(sent[4].code, 0x8Cu);
    EXPECT_EQ(sent[4].index, 0x10u);
    EXPECT_EQ(sent[5].index, 0x13u);
    EXPECT_EQ(sent.back().code, 0x8Eu);
    EXPECT_EQ(sent.back().index, 0u);
    EXPECT_EQ(scanner.ClockHz(), 24000000u);
    EXPECT_EQ(scanner.Register(0x01), 0x80);
    EXPECT_EQ(scanner.Register(0x8C), 3168 & 0xFF);
    EXPECT_EQ(chip.PacketSize(), 512);
    uint8_t value = 0;
    ASSERT_TRUE(chip.ReadRegister(0x114, &value));
    EXPECT_EQ(value, 130) << "the high bank took its defaults";
    ASSERT_TRUE(chip.ReadRegister(0x101, &value));
    EXPECT_EQ(value, 0x10);
}

TEST_P(GL125EmulatorTest, InitOnAWarmChipOnlyReads) {
    Attach();
    ASSERT_TRUE(chip.IsPowerBitSet());
    scanner.ClearLogs();
    GL125 again{&frontEnd, &port};
    ASSERT_TRUE(again.Init());
    const std::vector<Sent> sent = TakeVendorRequests();
    ASSERT_EQ(sent.size(), 10u);
    for (const Sent& s : sent) {
        EXPECT_EQ(s.kind, TransferKind::ControlIn);
        EXPECT_EQ(s.code, 0x8Eu);
    }
}

TEST_P(GL125EmulatorTest, BulkWritesLandAtTheirAddressAndReadBack) {
    Attach();
    std::vector<uint8_t> data(0xF000 + 700);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    ASSERT_TRUE(chip.BulkWrite(0x10014000, std::span<const uint8_t>(data).first(1000)));
    std::vector<uint8_t> back(1000);
    ASSERT_TRUE(chip.BulkRead(0x10014000, back));
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    const std::vector<uint16_t> words = scanner.ShadingWords(0x14000 / 2, 2);
    EXPECT_EQ(words[0], data[0] | data[1] << 8);
    scanner.ClearLogs();
    ASSERT_TRUE(chip.BulkWrite(0x10020000, data));
    size_t headers = 0;
    for (const auto& e : scanner.RequestLog()) {
        headers += e.kind == TransferKind::ControlOut && e.code == 0x82 ? 1 : 0;
    }
    EXPECT_EQ(headers, 3u) << "0xF000, whole packets, then the tail in one packet";
}

TEST_P(GL125EmulatorTest, ScansAtOddWidthsComeOutUnpaddedPlaneByPlaneInEveryMode) {
    Attach();
    struct Mode {
        int mode;
        int bits;
        int width;
    };
    for (const Mode m : {Mode{2, 24, 601}, Mode{1, 8, 601}, Mode{0, 1, 600}, Mode{1, 8, 333}, Mode{2, 24, 333}, Mode{0, 1, 344}}) {
        SCOPED_TRACE(testing::Message() << "mode " << m.mode << " bits " << m.bits << " width " << m.width);
        const int lines = 4;
        chip.SetColorMode(m.mode);
        chip.SetBitsPerPixel(m.bits);
        chip.SetScanWidth(m.width);
        chip.SetXResolution(Optical() / 2);
        chip.SetXOffset(10);
        chip.SetYOffset(0);
        chip.SetScanRate(1.0f);
        chip.SetScanLength(m.mode == 0 ? lines - 10 : lines - 2);
        ASSERT_TRUE(chip.SetupScan());
        ASSERT_TRUE(WaitFor([&] { return scanner.Engine() == emulator::EngineState::Idle; }));
        const std::vector<uint8_t> fifo = scanner.FifoContent();
        const GL125LineLayout layout = GL125LineLayout::For(m.width, m.bits);
        ASSERT_EQ(fifo.size(), lines * layout.PaddedLineBytes());
        std::vector<uint8_t> expected(lines * layout.LineBytes());
        layout.Unpad(fifo.data(), expected.data(), lines);

        std::vector<uint8_t> image(lines * layout.LineBytes() + 8, 0xCD);
        size_t delivered = 0;
        int got = 0;
        while (chip.ReadImageLines(image.data() + delivered * layout.LineBytes(), 1, &got)) {
            delivered += static_cast<size_t>(got);
            ASSERT_LE(delivered, static_cast<size_t>(lines));
        }
        EXPECT_EQ(delivered, static_cast<size_t>(lines));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
        EXPECT_EQ(image[lines * layout.LineBytes()], 0xCD);
        EXPECT_EQ(chip.GetLinesScanned(), lines);
        chip.StopScan();
    }
}

TEST_P(GL125EmulatorTest, UploadedShadingSitsWhereTheChipReadsEachPixel) {
    Attach();
    std::vector<int32_t> offsets(5184);
    for (size_t p = 0; p < offsets.size(); ++p) {
        offsets[p] = static_cast<int32_t>(p + 1);
    }
    for (int channel = 0; channel < 4; ++channel) {
        chip.SetShadingOffsets(channel, offsets);
    }
    for (const int x : {Optical(), Optical() / 2, Optical() * 2 / 3}) {
        chip.SetColorMode(1);
        chip.SetBitsPerPixel(8);
        chip.SetScanWidth(100);
        chip.SetXResolution(x);
        chip.SetScanLength(1);
        ASSERT_TRUE(chip.SetupScan());
        chip.StopScan();
        const bool averaging = GL125IntegerDivisor(Optical(), x).has_value();
        for (const size_t p : {size_t{0}, size_t{1}, size_t{122}, size_t{123}, size_t{2591}, size_t{5183}}) {
            const size_t slot = p + (averaging ? 3 : 2);
            const size_t position = slot + 2 * (slot / 126);
            const uint16_t offset = scanner.ShadingWords(static_cast<uint32_t>((0x14000 + 4 * position) / 2), 1)[0];
            const size_t f = averaging ? static_cast<size_t>(*GL125IntegerDivisor(Optical(), x)) : 1;
            const size_t first = p / f * f;
            size_t sum = 0;
            for (size_t i = first; i < first + f; ++i) {
                sum += i + 1;
            }
            EXPECT_EQ(offset, sum / f) << x << " dpi, pixel " << p;
        }
    }
}

TEST_P(GL125EmulatorTest, FeedsTravelTheDistanceAsked) {
    Attach();
    chip.SetXResolution(600);
    chip.SetFeedForward(true);
    chip.SetRampStartSpeed(0.5f);
    struct Case {
        int lines;
        int64_t steps;
    };
    for (const Case c : {Case{0, 0}, Case{3, 9}, Case{8, 9}, Case{9, 9}, Case{10, 10}, Case{150, 150}, Case{600, 600}}) {
        const int64_t before = scanner.MotorPosition();
        chip.SetYOffset(c.lines);
        chip.SetMotorPower(true);
        chip.StartMove();
        ASSERT_TRUE(WaitFor([&] { return !chip.IsMotorBusy(); }));
        chip.StopMove();
        EXPECT_EQ(scanner.MotorPosition() - before, c.steps) << c.lines << " lines";
    }
}

TEST_P(GL125EmulatorTest, ALinesCounterThatAdvancesBetweenByteReadsIsNotOverstated) {
    scanner.SetSwitch("gl125.counter_tear", "on");
    Attach();
    chip.SetColorMode(1);
    chip.SetBitsPerPixel(8);
    chip.SetScanWidth(64);
    chip.SetXResolution(Optical() / 4);
    chip.SetScanRate(4.0f);
    chip.SetScanLength(600);
    ASSERT_TRUE(chip.SetupScan());
    std::vector<uint8_t> lines(64 * 64);
    int previous = 0;
    for (int i = 0; i < 400 && scanner.Engine() != emulator::EngineState::Idle; ++i) {
        const int read = chip.GetLinesScanned();
        EXPECT_LE(static_cast<uint32_t>(read), scanner.LinesScanned());
        EXPECT_GE(read + 2, previous) << "a torn read loses at most what it saw advance";
        previous = std::max(previous, read);
        int got = 0;
        chip.ReadImageLines(lines.data(), 64, &got);
    }
    chip.StopScan();
}

TEST_P(GL125EmulatorTest, LinesWaitingWhenTheChipClearsTheScanBitAreStillDelivered) {
    scanner.SetSwitch("gl125.scan_bit_autoclear", "on");
    Attach();
    chip.SetColorMode(1);
    chip.SetBitsPerPixel(8);
    chip.SetScanWidth(101);
    chip.SetXResolution(Optical() / 2);
    chip.SetScanLength(8);
    ASSERT_TRUE(chip.SetupScan());
    ASSERT_TRUE(WaitFor([&] { return scanner.Engine() == emulator::EngineState::Idle; }));
    std::vector<uint8_t> image(101 * 20);
    size_t delivered = 0;
    int got = 0;
    while (chip.ReadImageLines(image.data() + delivered * 101, 4, &got)) {
        delivered += static_cast<size_t>(got);
        ASSERT_LE(delivered, 10u);
    }
    EXPECT_EQ(delivered, 10u) << "eight lines and the two extra ones";
    chip.StopScan();
}

INSTANTIATE_TEST_SUITE_P(Boards, GL125EmulatorTest,
                         ::testing::Values(Board{"RM310-GL125", 0x00F2, true}, Board{"RM460", 0x4811, false}),
                         [](const auto& p) { return std::string(p.param.wideSensor ? "RM310" : "RM460"); });

}  // namespace
