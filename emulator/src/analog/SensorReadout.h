#pragma once

#include "FrontEnd.h"
#include "PixelModel.h"
#include "../board/BoardProfile.h"
#include "../chip/BoardSide.h"
#include "../core/DeviceLogsStore.h"
#include "../core/Switches.h"
#include "../paper/PaperPath.h"

#include <optional>
#include <vector>

namespace emulator {

// The pixel settings the device's switches fix (seed, sensitivity,
// led_colours, sampling_shading_shift).
PixelSettings MakePixelSettings(const Switches& switches);

// Reads one chip line off the two CIS lines: samples what the front and the
// back line see of the paper path, then runs the pixel model. With
// `colour_sampling = ideal` the three lines of a colour triple all see the
// paper where the first of them saw it.
class SensorReadout {
public:
    SensorReadout(const BoardProfile& board, const Switches& switches, DeviceLogsStore& logs);

    void ScanStarting() { pixels_.ScanStarting(); }

    // Called at the middle of the line: the paper is sampled where it is now.
    std::vector<std::uint8_t> ReadLine(const LineSetup& setup, std::uint32_t clockHz, bool lampLit,
                                       const FrontEnd& frontEnd, const PaperPath& paper,
                                       std::span<const std::uint16_t> shadingMemory,
                                       std::span<const std::uint16_t> gammaMemory);

    const PixelModel& Pixels() const { return pixels_; }

private:
    int opticalDpi_;
    bool idealColourSampling_;
    PixelModel pixels_;
    std::vector<Rgb> front_;
    std::vector<Rgb> back_;
    std::optional<double> tripleY_;
};

} // namespace emulator
