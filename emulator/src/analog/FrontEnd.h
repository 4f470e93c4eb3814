#pragma once

#include "../core/DeviceLogsStore.h"

#include <array>
#include <cstdint>
#include <vector>

namespace emulator {

// A front-end register write worth keeping (registers 1, 2, 5, 8, 9).
struct FrontEndRecord {
    DeviceTime time{};
    std::uint8_t address = 0;
    std::uint8_t value = 0;
};

// The analog front end: a 64 x 8 register file written through the chip's
// serial port, and the transfer of a sensor signal to a 16-bit sample on one
// of its three channels.
class FrontEnd {
public:
    // Which channel each chip colour uses in colour mode (7).
    using ChannelMap = std::array<int, 3>;

    FrontEnd(DeviceLogsStore& logs, ChannelMap colourChannels);

    void Reset();
    void Write(std::uint8_t address, std::uint16_t data, DeviceTime now);
    std::uint8_t Register(std::uint8_t address) const { return regs_[address & 0x3F]; }
    const std::array<std::uint8_t, 64>& Registers() const { return regs_; }
    const std::vector<FrontEndRecord>& Records() const { return records_; }

    // Scan start: checks the channel mode for the layout (A2, A3).
    void ScanStarting(bool mono);
    // The channel that digitises a chip line (chipColour 0..2, or mono).
    int Channel(int chipColour, bool mono) const;

    // s in 8-bit units at unity gain → clamp(round(256 · G · (s − 28 vref + 0.175 (offset − 128)))).
    std::uint16_t Transfer(double signal, int channel) const;
    static double Gain(std::uint8_t code);

private:
    bool ColourMode() const;

    DeviceLogsStore& logs_;
    ChannelMap colourChannels_;
    std::array<std::uint8_t, 64> regs_{};
    std::vector<FrontEndRecord> records_;
};

} // namespace emulator
