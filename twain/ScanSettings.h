// The scan-settings record shared by capabilities, the user interface and
// the profile; the scan frame's limits and the resolution list.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int16_t kScanModeGray = 1;
inline constexpr int16_t kScanModeBlackWhite = 2;
inline constexpr int16_t kScanModeColor = 4;

struct ScanSettings {
    int16_t scanMode = kScanModeColor;
    int16_t dpi = 300;
    int16_t brightness = 0;
    int16_t contrast = 0;
    int16_t gamma10 = 10;
    int16_t highlight = 255;
    int16_t shadow = 0;
    int16_t exposureAdjust = 0;
    int16_t exposurePercent10 = 0;
    int16_t channelOrderFlag = 0;
    int16_t detectEop = 0;
    int16_t autoCrop = 0;
    int16_t deskew = 0;
    int16_t rotation = 0;
    int16_t duplex = 0;
    int16_t filter = 0;
    int16_t invert = 0;
    // Frame in hundredths of an inch from the top-left corner of the paper path.
    int16_t top = 0;
    int16_t left = 0;
    int16_t bottom = 687;
    int16_t right = 416;
};

// Stores the frame clamped to the paper path; true when anything was clamped.
bool SetScanFrame(ScanSettings& settings, int top, int left, int bottom, int right);

// The frame in pixels at `dpi`.
struct PixelFrame {
    uint32_t xOffset = 0;
    uint32_t yOffset = 0;
    uint32_t width = 0;
    uint32_t length = 0;
};
PixelFrame FrameInPixels(const ScanSettings& settings, int dpi);

// Up to 12 resolutions in the scanner's order, each enabled or not; a 0 ends
// the list.
struct ResolutionList {
    static constexpr int kMax = 12;
    std::array<int16_t, kMax + 1> dpi{};
    std::array<bool, kMax + 1> enabled{};

    int Count() const;
    // The nearest entry (the earlier wins a tie), among the enabled ones when
    // `onlyEnabled`; `dpi` itself when the list has none.
    int Snap(int wanted, bool onlyEnabled) const;
};
