#include "BoardGpio.h"

#include <string>

namespace emulator {

namespace {
constexpr int kLines = 32;
}

BoardGpio::BoardGpio(const BoardProfile& board, DeviceLogsStore& logs) : logs_(logs)
{
    const GpioWiring& w = board.wiring;
    wired_ = Mask(w.paperSensor) | Mask(w.button) | Mask(w.powerSense) | Mask(w.eepromDo);
    // Inputs rest high: no paper, button up, no external power, DO idle.
    external_ = wired_;
}

void BoardGpio::Reset()
{
    directions_ = 0;
    latches_ = 0;
}

void BoardGpio::Set(std::uint32_t directions, std::uint32_t latches, DeviceTime now)
{
    for (int line = 1; line <= kLines; ++line) {
        const bool dirOld = Bit(directions_, line);
        const bool dirNew = Bit(directions, line);
        if (dirOld != dirNew) {
            history_.push_back({now, static_cast<unsigned>(line), true, dirNew});
            if (dirNew && Bit(wired_, line))
                logs_.Observation("O6", now, "wired input line " + std::to_string(line) +
                                                 " made an output reads its latch");
        }
        const bool latchNew = Bit(latches, line);
        if (Bit(latches_, line) != latchNew)
            history_.push_back({now, static_cast<unsigned>(line), false, latchNew});
    }
    directions_ = directions;
    latches_ = latches;
}

void BoardGpio::SetExternal(int line, bool high)
{
    external_ = high ? external_ | Mask(line) : external_ & ~Mask(line);
}

std::uint32_t BoardGpio::Levels() const
{
    const std::uint32_t fromInputs = wired_ & ~directions_;
    return (external_ & fromInputs) | (latches_ & ~fromInputs);
}

} // namespace emulator
