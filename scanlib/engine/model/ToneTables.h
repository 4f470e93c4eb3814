// The 256-entry chip tone table computed from the tone properties when no
// user table is set. The two controllers read a table differently: the
// GL125 maps each 8-bit level to a 16-bit output, the GL841 takes entry v as
// the 16-bit input at which output level v begins.
#pragma once

#include <cstdint>
#include <vector>

struct ToneSettings {
    float gamma = 1.0f;
    int32_t shadow = 0;
    int32_t highlight = 255;
    int32_t brightness = 0;
    int32_t contrast = 0;
    bool invert = false;

    bool Adjusted() const {
        return gamma != 1.0f || shadow != 0 || highlight != 255 || brightness != 0 || contrast != 0;
    }
};

inline constexpr uint32_t kToneCurveSize = 1024;
inline constexpr uint32_t kChipToneEntries = 256;

// 256 entries, or none when the settings ask for no change at all.
std::vector<uint16_t> BuildChipToneTable(const ToneSettings& settings, bool gl125);

// The GL841 reading of an 8-bit curve of kToneCurveSize entries: entry 0 is
// 0, entry v the input (on 16 bits) of the first curve index reaching v,
// 0xFFFF for levels the curve never reaches.
std::vector<uint16_t> InverseToneTable(const uint8_t* curve);
