#pragma once

#include "FrontEnd.h"
#include "SeededRandom.h"
#include "../board/BoardProfile.h"
#include "../chip/BoardSide.h"
#include "../core/DeviceLogsStore.h"
#include "../paper/PaperPath.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace emulator {

enum class Sensitivity : std::uint8_t { Normal, Bright, Dim };

struct PixelSettings {
    std::uint64_t seed = 1;
    Sensitivity sensitivity = Sensitivity::Normal;
    // D, the dark signal at vref 0 and offset code 128 (the sheet's designed
    // calibration level; the device's `dark_level` switch sets its own).
    double darkLevel = 58.0;
    // Colour (0 red, 1 green, 2 blue) of the LED of each chip colour.
    std::array<int, 3> ledColours{2, 1, 0};
    int samplingShadingShift = 1;
};

// What the two CIS lines see for one chip line: reflectance per sensor pixel.
struct LineScene {
    std::span<const Rgb> front;
    std::span<const Rgb> back;
};

// The sensor and the chip's pixel path for one chip line: illumination,
// sensor signal with its fixed per-pixel dark level and response, noise,
// the front end, averaging or sampling, shading, gamma and line art.
class PixelModel {
public:
    PixelModel(const BoardProfile& board, const PixelSettings& settings, DeviceLogsStore& logs);

    // A scan starts: window checks run with its first line.
    void ScanStarting() { scanStarted_ = true; }

    // The output bytes of one chip line (setup.outputBytes of them).
    std::vector<std::uint8_t> MakeLine(const LineSetup& setup, std::uint32_t clockHz, bool lampLit,
                                       const FrontEnd& frontEnd, const LineScene& scene,
                                       std::span<const std::uint16_t> shadingMemory,
                                       std::span<const std::uint16_t> gammaMemory);

    // Fixed per-pixel terms of side 0 (front) or 1 (back).
    float DarkOffset(int side, int pixel) const { return dark_[Index(side, pixel)]; }
    float Response(int side, int pixel) const { return response_[Index(side, pixel)]; }

    // The lit fraction of each LED for a line (0 with the lamp gate closed).
    std::array<double, 3> Exposures(const LineSetup& setup, std::uint32_t clockHz, bool lampLit) const;

    // Sensor signal in 8-bit units at unity gain, with fresh noise: of a
    // position outside the sensors, and of pixel `pixel` of side 0 (front) or
    // 1 (back) lit by LED exposures e over reflectance rho.
    double DarkSignal();
    double Signal(int side, int pixel, const std::array<double, 3>& e, const Rgb& rho);

private:
    std::size_t Index(int side, int pixel) const
    {
        return static_cast<std::size_t>(side != 0 ? 1 : 0) * pixels_ + static_cast<std::size_t>(pixel);
    }
    // Front-end output of one chip position.
    std::uint16_t Position(std::uint32_t q, const std::array<double, 3>& e, int channel,
                           const FrontEnd& frontEnd, const LineScene& scene, bool& outside);
    void CheckWindow(const LineSetup& setup);

    DeviceLogsStore& logs_;
    PixelSettings settings_;
    std::uint32_t pixels_;        // N
    std::uint32_t firstActive_;   // F
    double fullExposureSeconds_;
    double whiteResponse_;        // W_k
    double darkLevel_;            // D
    std::vector<float> dark_;     // d_p, both sides
    std::vector<float> response_; // R_p, both sides
    SeededRandom noise_;
    bool scanStarted_ = false;
    bool outsideSeen_ = false;
};

} // namespace emulator
