// The GL125's pixel path for one chip line: LED timing in ticks, the sensor
// and front end, shading per sensor pixel, reduction (averaging or
// resampling), forward gamma, line art and the chip's padding.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "../analog/FrontEnd.h"
#include "../analog/PixelModel.h"
#include "../board/BoardProfile.h"
#include "../core/DeviceLogsStore.h"

namespace emulator {

// What the chip latched at scan start and fixes per line.
struct Gl125LineSetup {
    int colour = 0;                  // chip colour 0..2; mono lines 0
    bool mono = false;
    std::uint32_t linePeriod = 0;    // ticks
    std::uint32_t ledOn = 0;         // ticks
    std::array<std::uint32_t, 3> ledEnd{};
    double tickSeconds = 0;
    bool lampLit = false;            // lamp bit and LampEnable latch
    std::uint32_t firstActive = 0;   // position of sensor pixel 0 (0x80–0x81)
    std::uint32_t windowStart = 0;
    std::uint32_t resolution = 0;    // R
    bool averaging = false;          // integer divisor with an integer class / R
    std::uint32_t width = 0;         // output pixels, padded
    bool shading = false;
    int shadingShift = 14;           // 14: 0x4000 = x1, 13: 0x2000 = x1
    int shadingSlotLead = 3;         // slot e = p + lead
    std::int64_t shadingBase = 0;    // byte offset of the area in main memory
    bool gamma = false;
    bool gammaInterpolate = false;
    std::uint32_t gammaSlot = 0;     // byte offset of the slot in gamma memory
    bool lineArt = false;
    std::uint8_t thresholdHigh = 0;
    std::uint8_t thresholdLow = 0;
    DeviceTime middle{};

    std::uint32_t OutputBytes() const { return lineArt ? width / 8 : width; }
};

class Gl125Pixels {
public:
    Gl125Pixels(const BoardProfile& board, const PixelSettings& settings, DeviceLogsStore& logs);

    void ScanStarting() { outsideSeen_ = false; }

    // The lit fraction of LEDs 0..2 for one line.
    std::array<double, 3> Exposures(const Gl125LineSetup& setup, double fullExposureSeconds) const;

    // Exactly setup.OutputBytes() bytes.
    std::vector<std::uint8_t> MakeLine(const Gl125LineSetup& setup, const FrontEnd& frontEnd,
                                       std::span<const Rgb> front, std::span<const Rgb> back,
                                       std::span<const std::uint8_t> mainMemory,
                                       std::span<const std::uint8_t> gammaMemory);

    // Memory position of shading slot e: 128-entry blocks, 126 read.
    static std::uint32_t ShadingPosition(std::uint32_t slot);

    const PixelModel& Model() const { return model_; }

private:
    std::uint16_t Sample(std::int64_t position, const std::array<double, 3>& e, int channel,
                         const FrontEnd& frontEnd, std::span<const Rgb> front, std::span<const Rgb> back,
                         bool& outside);

    DeviceLogsStore& logs_;
    PixelModel model_;
    std::int64_t sensorStart_;   // position of front pixel 0
    std::int64_t pixels_;        // N
    double fullExposureSeconds_;
    bool outsideSeen_ = false;
};

}  // namespace emulator
