// Hand-built host requests for a GL125 board: register pairs in either bank,
// {value, 0x55} reads, bulk headers with address and length, and the
// register setups of a scan or a move, written from the chip sheet.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <emulator/VirtualScanner.h>

#include "TransportDriver.h"

namespace emulator::testing {

inline constexpr std::uint32_t kGammaMemory = 0x01000000;
inline constexpr std::uint32_t kMainMemory = 0x10000000;
inline constexpr std::uint32_t kImage = 0x10000000;
inline constexpr std::uint32_t kFirstActive = 86;  // sensor pixel 0

inline std::vector<std::uint8_t> Gl125Header(std::uint32_t address, std::uint32_t length)
{
    std::vector<std::uint8_t> h;
    PutLe32(h, address);
    PutLe32(h, length);
    return h;
}

inline std::vector<std::uint8_t> Words(const std::vector<std::uint16_t>& words)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

// What a scan needs: window in positions, R, line period and LED ticks.
struct Gl125Scan {
    bool mono = true;
    bool lineArt = false;
    bool averaging = false;
    std::uint32_t start = kFirstActive;
    std::uint32_t end = kFirstActive + 100;
    std::uint32_t resolution = 600;
    std::uint32_t lines = 1;
    std::uint32_t period = 6000;  // ticks
    std::uint32_t ledOn = 0;
    std::uint32_t ledEnd[3] = {0, 0, 0};
    std::uint32_t run = 0;
    bool motor = false;
    bool lamp = false;
    std::uint8_t modeFactor = 2;  // RM310-GL125
    bool sensorSelect = false;
    bool shading = false;
    bool gainRange = true;        // 0x4000 = x1
    bool gamma = false;
};

class Gl125Driver {
public:
    explicit Gl125Driver(VirtualScanner& scanner) : connection_(scanner.Connect()) {}

    DeviceReply Call(DeviceRequest request)
    {
        auto reply = connection_->Call(std::move(request));
        EXPECT_TRUE(reply.has_value()) << "request left pending";
        return reply.value_or(DeviceReply{0xFFFFFFFFu, 0, {}});
    }
    DeviceReply ControlOut(std::uint32_t request, std::uint32_t index, const std::vector<std::uint8_t>& data)
    {
        return Call(RegisterRequest(true, request, index, static_cast<std::uint32_t>(data.size()), data));
    }
    DeviceReply ControlIn(std::uint32_t request, std::uint32_t index, std::uint32_t length)
    {
        return Call(RegisterRequest(false, request, index, length));
    }

    // Pairs written through 0x83 (low bank) or 0x183 (high bank).
    DeviceReply WritePairs(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> pairs, bool high = false)
    {
        std::vector<std::uint8_t> data;
        for (auto [a, v] : pairs) {
            data.push_back(a);
            data.push_back(v);
        }
        return ControlOut(high ? 0x183 : 0x83, 0, data);
    }
    void Set(std::uint16_t address, std::uint8_t value)
    {
        const auto a = static_cast<std::uint8_t>(address & 0xFF);
        EXPECT_EQ(WritePairs({{a, value}}, address >= 0x100).error, 0u);
    }
    void SetField(std::uint16_t first, int bytes, std::uint32_t value)
    {
        for (int i = 0; i < bytes; ++i)
            Set(static_cast<std::uint16_t>(first + i), static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i))));
    }
    DeviceReply ReadRaw(std::uint16_t address)
    {
        return ControlIn(address >= 0x100 ? 0x18E : 0x8E, static_cast<std::uint32_t>((address & 0xFF) << 8 | 0x22), 2);
    }
    std::uint8_t Get(std::uint16_t address)
    {
        const DeviceReply r = ReadRaw(address);
        EXPECT_EQ(r.error, 0u);
        EXPECT_EQ(r.data.size(), 2u);
        return r.data.size() == 2 ? r.data[0] : 0;
    }
    std::uint32_t GetField(std::uint16_t first, int bytes)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | Get(static_cast<std::uint16_t>(first + i));
        return v;
    }
    std::uint8_t Status() { return Get(0x101); }

    DeviceReply Arm(bool toChip, std::uint32_t address, std::uint32_t length)
    {
        return ControlOut(0x82, toChip ? 1 : 0, Gl125Header(address, length));
    }
    DeviceReply BulkOut(std::vector<std::uint8_t> data) { return Call(DeviceRequest{RequestOp::Write, 0, 0, std::move(data)}); }
    DeviceReply BulkIn(std::uint32_t length) { return Call(DeviceRequest{RequestOp::Read, 0, length, {}}); }
    DeviceReply Upload(std::uint32_t address, const std::vector<std::uint8_t>& data)
    {
        EXPECT_EQ(Arm(true, address, static_cast<std::uint32_t>(data.size())).error, 0u);
        return BulkOut(data);
    }
    std::vector<std::uint8_t> Download(std::uint32_t address, std::uint32_t length)
    {
        EXPECT_EQ(Arm(false, address, length).error, 0u);
        const DeviceReply r = BulkIn(length);
        EXPECT_EQ(r.error, 0u);
        return r.data;
    }

    void FrontEnd(std::uint8_t address, std::uint16_t value)
    {
        EXPECT_EQ(WritePairs({{0x51, address}, {0x5E, static_cast<std::uint8_t>(value)},
                              {0x5D, static_cast<std::uint8_t>(value >> 8)}})
                      .error,
                  0u);
    }

    // Motor table k (1–5) uploaded and its length register set.
    void MotorTable(int k, const std::vector<std::uint16_t>& entries)
    {
        EXPECT_EQ(Upload(kMainMemory + static_cast<std::uint32_t>(k - 1) * 0x4000, Words(entries)).error, 0u);
        static constexpr std::uint16_t kLength[] = {0xA4, 0xAA, 0xAC, 0xAE, 0xB0};
        SetField(kLength[k - 1], 2, static_cast<std::uint32_t>(entries.size()));
    }

    // Registers of a scan that logs nothing, with the front end in the
    // matching channel mode.
    void SetUpScan(const Gl125Scan& s)
    {
        Set(0x04, static_cast<std::uint8_t>((s.mono ? 0x10 : 0x00) | (s.lineArt ? 0x80 : 0)));
        Set(0x0C, s.mono ? 0 : 2);
        Set(0x60, s.mono ? 0x04 : 0x10);
        Set(0x03, static_cast<std::uint8_t>((s.lamp ? 0x10 : 0) | (s.averaging ? 0x40 : 0)));
        SetField(0x1F, 2, s.modeFactor);
        SetField(0x80, 2, kFirstActive);
        SetField(0x82, 3, s.start);
        SetField(0x85, 3, s.end);
        SetField(0x2C, 2, s.resolution);
        SetField(0x7D, 3, s.period);
        SetField(0x88, 2, s.ledOn);
        for (int c = 0; c < 3; ++c)
            SetField(static_cast<std::uint16_t>(0x8A + 3 * c), 3, s.ledEnd[c]);
        SetField(0x25, 3, s.lines);
        SetField(0x3D, 3, s.run);
        Set(0x02, s.motor ? 0x10 : 0x00);
        Set(0x33, s.sensorSelect ? 0x10 : 0x00);
        Set(0x32, s.lamp ? 0x10 : 0x00);  // LampEnable
        Set(0x05, s.gamma ? 0x08 : 0x00);
        Set(0x06, s.gainRange ? 0x08 : 0x00);
        Set(0xBE, 0x07);                   // every gamma slot ascending
        Set(0xD0, 10);
        Set(0xD1, 16);
        Set(0xD2, 22);
        shading_ = s.shading;
        FrontEnd(6, s.mono ? 5 : 7);
    }
    void StartScan()
    {
        Set(0x0D, 0x01);
        Set(0x01, shading_ ? 0x61 : 0x41);
        Set(0x0F, 0x01);
    }
    void Move(std::uint32_t run, bool reverse, bool powered = true)
    {
        SetField(0x3D, 3, run);
        Set(0x02, static_cast<std::uint8_t>((reverse ? 0x04 : 0) | (powered ? 0x10 : 0)));
        Set(0x01, 0x40);
        Set(0x0F, 0x01);
    }
    std::vector<std::uint8_t> ReadImage(std::uint32_t length) { return Download(kImage, length); }

private:
    std::unique_ptr<DeviceConnection> connection_;
    bool shading_ = false;
};

// One virtual-clock GL125 scanner and a connection; the violation log must be
// empty at teardown unless a test clears it.
class Gl125Test : public ::testing::Test {
protected:
    explicit Gl125Test(std::string board = "RM310-GL125", SwitchOverrides switches = {})
        : scanner_(board, WithVirtualClock(std::move(switches))), driver_(scanner_)
    {
    }
    void TearDown() override { EXPECT_TRUE(scanner_.Violations().empty()) << ViolationText(scanner_); }

    void ExpectViolations(const std::vector<std::string>& rules)
    {
        EXPECT_EQ(ViolationRules(scanner_), rules) << ViolationText(scanner_);
        scanner_.ClearLogs();
    }

    // The virtual clock, and the dark level the sheet's worked levels use.
    static SwitchOverrides WithVirtualClock(SwitchOverrides s)
    {
        s.emplace("clock", "virtual");
        s.emplace("dark_level", "58");
        return s;
    }

    VirtualScanner scanner_;
    Gl125Driver driver_;
};

}  // namespace emulator::testing
