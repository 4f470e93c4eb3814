#include "engine/model/ToneTables.h"

#include "engine/tone/ToneCurve.h"

#include <array>

std::vector<uint16_t> InverseToneTable(const uint8_t* curve) {
    std::vector<uint16_t> table(kChipToneEntries, 0xFFFF);
    table[0] = 0;
    uint32_t index = 0;
    for (uint32_t v = 1; v < kChipToneEntries; ++v) {
        // The curve never decreases, so the search goes on from the last level.
        while (index < kToneCurveSize && curve[index] < v) ++index;
        if (index == kToneCurveSize) break;
        table[v] = static_cast<uint16_t>(65536u * index / kToneCurveSize);
    }
    return table;
}

std::vector<uint16_t> BuildChipToneTable(const ToneSettings& s, bool gl125) {
    std::vector<uint16_t> table;
    if (s.Adjusted()) {
        std::array<uint8_t, kToneCurveSize> curve{};
        BuildToneCurve(s.gamma, static_cast<uint32_t>(s.shadow), static_cast<uint32_t>(s.highlight), s.brightness,
                       s.contrast, curve.data(), kToneCurveSize);
        if (gl125) {
            table.resize(kChipToneEntries);
            for (uint32_t k = 0; k < kChipToneEntries; ++k) {
                table[k] = static_cast<uint16_t>(curve[k * kToneCurveSize / kChipToneEntries] << 8);
            }
        } else {
            table = InverseToneTable(curve.data());
        }
        if (s.invert) {
            for (uint16_t& e : table) e = static_cast<uint16_t>(~e);
        }
        return table;
    }
    if (s.invert) {
        table.resize(kChipToneEntries);
        for (uint32_t k = 0; k < kChipToneEntries; ++k) table[k] = static_cast<uint16_t>((255 - k) << 8);
    }
    return table;
}
