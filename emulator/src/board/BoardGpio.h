#pragma once

#include "BoardProfile.h"
#include "../core/DeviceLogsStore.h"

#include <cstdint>
#include <vector>

#include <emulator/VirtualScanner.h>

namespace emulator {

// The board's GPIO lines 1..32 as the chip drives them (bit = line - 1):
// directions (1 = output), latches, and the external levels of the wired
// inputs. Every direction or latch change is recorded with its device time.
class BoardGpio {
public:
    BoardGpio(const BoardProfile& board, DeviceLogsStore& logs);

    // Power-on: all inputs, latches 0 (the history is kept).
    void Reset();
    void Set(std::uint32_t directions, std::uint32_t latches, DeviceTime now);

    std::uint32_t Directions() const { return directions_; }
    std::uint32_t Latches() const { return latches_; }
    bool Latch(int line) const { return Bit(latches_, line); }
    bool IsOutput(int line) const { return Bit(directions_, line); }

    // External level of a wired input (true = high).
    void SetExternal(int line, bool high);
    // What a chip read shows: the latch of an output line, the external level
    // of a wired input, the latch of an unwired input.
    std::uint32_t Levels() const;

    const std::vector<GpioChange>& History() const { return history_; }

    static bool Bit(std::uint32_t word, int line) { return line > 0 && ((word >> (line - 1)) & 1) != 0; }
    static std::uint32_t Mask(int line) { return line > 0 ? 1u << (line - 1) : 0; }

private:
    DeviceLogsStore& logs_;
    std::uint32_t wired_ = 0;
    std::uint32_t external_ = 0;
    std::uint32_t directions_ = 0;
    std::uint32_t latches_ = 0;
    std::vector<GpioChange> history_;
};

} // namespace emulator
