// A GL841 driven directly against the virtual scanner through the usbscan
// port: the board's front end, sensor module and motor, the lamp line
// enabled, and helpers to read registers, wait and read lines.
#pragma once

#include "chips/CISModule.h"
#include "chips/GL841.h"
#include "chips/Motor.h"
#include "chips/WM8199.h"
#include "device/DevicePortUsbscan.h"
#include "os/OSFunctions.h"

#include <emulator/VirtualScanner.h>
#include <platform/testing.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gl841_test {

struct Board {
    const char* name;
    uint16_t productId;
    std::function<std::unique_ptr<CISModule>()> module;
    std::function<std::unique_ptr<Motor>()> motor;
};

inline Board RM410() {
    return {"RM410", 0x00F1, [] { return std::make_unique<CM651>(); }, [] { return std::make_unique<FAN8200D>(); }};
}
inline Board RM310() {
    return {"RM310-GL841", 0x00F0, [] { return std::make_unique<CM635>(); },
            [] { return std::make_unique<FAN8200D_2>(); }};
}

// Line rates that give a maximum exposure of 970 000 ns per colour.
inline constexpr std::array<float, 3> kLineRates{1000.0f, 1000.0f, 1000.0f};
inline constexpr int kLampLine = 13;

class Rig {
public:
    // With the switch clock=virtual the device's time moves only with its
    // requests and with the waits below, so heavy scans do not run ahead of
    // a slow host.
    explicit Rig(const Board& board, const emulator::SwitchOverrides& switches = {})
        : scanner(board.name, switches),
          virtualClock(scanner.Switch("clock") == "virtual"),
          module(board.module()),
          motor(board.motor()) {
        scanner.Serve(platform::testing::Root());
        int matched = -1;
        port = std::make_unique<DevicePortUsbscan>();
        EXPECT_TRUE(port->Open({DeviceId{0x17C4, board.productId, L"", L""}},
                               &matched));
        chip = std::make_unique<GL841>(&frontEnd, port.get(), false);
        EXPECT_TRUE(chip->Init());
        chip->SetCisModule(module.get(), 2, kLineRates);
        chip->SetMotor(motor.get());
        chip->SetGpioEnable(kLampLine, true);
        chip->SetGpioValue(kLampLine, true);
        scanner.ClearLogs();
    }

    ~Rig() {
        for (const auto& v : scanner.Violations()) {
            ADD_FAILURE() << "protocol violation " << v.rule << ": " << v.text;
        }
    }

    uint32_t Field(uint8_t first, int bytes) const {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v = (v << 8) | scanner.Register(static_cast<uint8_t>(first + i));
        }
        return v;
    }
    bool Bit(uint8_t reg, int bit) const { return ((scanner.Register(reg) >> bit) & 1) != 0; }

    // Waits until pred holds, step by step; false after timeoutMs of real time.
    bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 20000,
                 std::chrono::milliseconds step = std::chrono::milliseconds(2)) {
        const uint32_t start = OSGetTime();
        while (!pred()) {
            if (OSGetTime() - start > static_cast<uint32_t>(timeoutMs)) {
                return false;
            }
            Pause(step);
        }
        return true;
    }

    // A wait of `step` of device time.
    void Pause(std::chrono::milliseconds step = std::chrono::milliseconds(2)) {
        if (virtualClock) {
            scanner.AdvanceClock(step);
        } else {
            OSSleep(static_cast<int>(step.count()));
        }
    }

    // Reads n lines of bytesPerLine through ReadImageLines.
    std::vector<uint8_t> ReadLines(unsigned n, size_t bytesPerLine) {
        std::vector<uint8_t> out(n * bytesPerLine);
        unsigned got = 0;
        const uint32_t start = OSGetTime();
        while (got < n) {
            int read = -1;
            if (!chip->ReadImageLines(out.data() + got * bytesPerLine, n - got, &read)) {
                ADD_FAILURE() << "read failed after " << got << " lines";
                break;
            }
            EXPECT_GE(read, 0);
            got += static_cast<unsigned>(read);
            if (read == 0) {
                if (OSGetTime() - start > 20000) {
                    ADD_FAILURE() << "no lines after " << got;
                    break;
                }
                Pause();
            }
        }
        out.resize(got * bytesPerLine);
        return out;
    }

    emulator::VirtualScanner scanner;
    bool virtualClock;
    std::unique_ptr<DevicePortUsbscan> port;
    WM8199GL frontEnd;
    std::unique_ptr<CISModule> module;
    std::unique_ptr<Motor> motor;
    std::unique_ptr<GL841> chip;
};

}  // namespace gl841_test
