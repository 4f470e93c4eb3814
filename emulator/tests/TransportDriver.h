// Hand-built host requests for the emulator's own tests: usbscan I/O
// controls, GL841 vendor requests and bulk transfers, as a driver sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <emulator/VirtualScanner.h>

namespace emulator::testing {

inline void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::uint32_t Le32(const std::vector<std::uint8_t>& in, std::size_t at = 0)
{
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
           static_cast<std::uint32_t>(in[at + 2]) << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

inline DeviceRequest IoctlRequest(std::uint32_t code, std::vector<std::uint8_t> input = {}, std::uint32_t out = 0)
{
    return DeviceRequest{RequestOp::Ioctl, code, out, std::move(input)};
}

inline DeviceRequest RegisterRequest(bool write, std::uint32_t request, std::uint32_t index, std::uint32_t length,
                                     const std::vector<std::uint8_t>& data = {})
{
    std::vector<std::uint8_t> in;
    PutLe32(in, request);
    PutLe32(in, index);
    PutLe32(in, length);
    in.insert(in.end(), data.begin(), data.end());
    return IoctlRequest(write ? kIoctlWriteRegisters : kIoctlReadRegisters, std::move(in), write ? 0 : length);
}

inline std::vector<std::uint8_t> Header(bool toChip, std::uint32_t length)
{
    std::vector<std::uint8_t> h{static_cast<std::uint8_t>(toChip ? 1 : 0), 0, 0x82, 0};
    PutLe32(h, length);
    return h;
}

// One connection and the requests a GL841 driver makes on it.
class Driver {
public:
    explicit Driver(VirtualScanner& scanner) : connection_(scanner.Connect()) {}

    DeviceConnection& Connection() { return *connection_; }

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

    // Register pairs written in one request (1–3 pairs).
    void Write(std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> pairs)
    {
        std::vector<std::uint8_t> data;
        for (auto [a, v] : pairs) {
            data.push_back(a);
            data.push_back(v);
        }
        const DeviceReply r = ControlOut(0x83, 0, data);
        EXPECT_EQ(r.error, 0u);
    }
    void Set(std::uint8_t address, std::uint8_t value) { Write({{address, value}}); }
    void SetField(std::uint8_t first, int bytes, std::uint32_t value)
    {
        for (int i = 0; i < bytes; ++i)
            Set(static_cast<std::uint8_t>(first + i), static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i))));
    }
    void Select(std::uint8_t address) { EXPECT_EQ(ControlOut(0x83, 0, {address}).error, 0u); }
    std::uint8_t Get(std::uint8_t address)
    {
        Select(address);
        const DeviceReply r = ControlIn(0x84, 0, 1);
        EXPECT_EQ(r.error, 0u);
        return r.data.empty() ? 0 : r.data[0];
    }
    std::uint32_t GetField(std::uint8_t first, int bytes)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | Get(static_cast<std::uint8_t>(first + i));
        return v;
    }
    std::uint8_t Status() { return Get(0x41); }

    DeviceReply Arm(bool toChip, std::uint32_t length) { return ControlOut(0x82, 0, Header(toChip, length)); }
    DeviceReply BulkOut(std::vector<std::uint8_t> data)
    {
        return Call(DeviceRequest{RequestOp::Write, 0, 0, std::move(data)});
    }
    DeviceReply BulkIn(std::uint32_t length) { return Call(DeviceRequest{RequestOp::Read, 0, length, {}}); }

    // Select a port, arm and transfer.
    DeviceReply Upload(std::uint8_t port, const std::vector<std::uint8_t>& data)
    {
        Select(port);
        EXPECT_EQ(Arm(true, static_cast<std::uint32_t>(data.size())).error, 0u);
        return BulkOut(data);
    }
    DeviceReply Download(std::uint8_t port, std::uint32_t length)
    {
        Select(port);
        EXPECT_EQ(Arm(false, length).error, 0u);
        return BulkIn(length);
    }

    // A mono scan at a standstill of `lines` lines of `width` pixels at the
    // optical resolution (600 class), 12 MHz, line period `period` counts.
    void SetUpMonoScan(std::uint32_t lines, std::uint32_t width, std::uint32_t period = 6000)
    {
        Write({{0x04, 0x04}, {0x87, 0x04}, {0x34, 27}});
        SetField(0x38, 2, period);
        SetField(0x30, 2, 27);
        SetField(0x32, 2, 27 + width);
        SetField(0x2C, 2, 600);
        SetField(0x25, 3, lines);
        SetField(0x3D, 3, 0);
        Set(0x02, 0x00);
        FrontEnd(6, 5);  // single-channel mode
    }
    // A word through the chip's serial port to the front end.
    void FrontEnd(std::uint8_t address, std::uint8_t value) { Write({{0x51, address}, {0x3A, 0}, {0x3B, value}}); }
    void StartScan()
    {
        Set(0x0D, 0x01);
        Set(0x01, 0x41);
        Set(0x0F, 0x01);
    }

private:
    std::unique_ptr<DeviceConnection> connection_;
};

inline std::string ViolationText(const VirtualScanner& s)
{
    std::string text;
    for (const auto& v : s.Violations())
        text += v.rule + " (request " + std::to_string(v.request) + "): " + v.text + "\n";
    return text;
}

inline std::vector<std::string> ViolationRules(const VirtualScanner& s)
{
    std::vector<std::string> rules;
    for (const auto& v : s.Violations())
        rules.push_back(v.rule);
    return rules;
}

// A fixture with one virtual-clock scanner and one driver connection; the
// violation log must be empty at teardown unless a test clears it.
class DeviceTest : public ::testing::Test {
protected:
    explicit DeviceTest(std::string board = "RM310-GL841", SwitchOverrides switches = {{"clock", "virtual"}})
        : scanner_(board, switches), driver_(scanner_)
    {
    }
    void TearDown() override { EXPECT_TRUE(scanner_.Violations().empty()) << ViolationText(scanner_); }

    // Asserts exactly these rules were logged, then clears the logs.
    void ExpectViolations(const std::vector<std::string>& rules)
    {
        EXPECT_EQ(ViolationRules(scanner_), rules) << ViolationText(scanner_);
        scanner_.ClearLogs();
    }

    VirtualScanner scanner_;
    Driver driver_;
};

}  // namespace emulator::testing
