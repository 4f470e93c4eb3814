// GL841: exposure per colour, the per-pixel shading tables, the gamma tables
// and the controller's block of the calibration file.
#include "chips/GL841.h"

#include "os/files/CalibrationFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kLeadingEntries = 3;
constexpr size_t kMinGammaEntries = 256;

bool WriteU32(CalibrationFile& file, uint32_t v) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 24)};
    return file.Write(bytes, sizeof bytes);
}

bool ReadU32(CalibrationFile& file, uint32_t* v) {
    uint8_t bytes[4] = {};
    if (!file.Read(bytes, sizeof bytes)) {
        return false;
    }
    *v = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

bool IsColour(int colour) { return colour >= 0 && colour < 3; }
bool IsShadingChannel(int channel) { return channel >= 0 && channel < 4; }

}  // namespace

bool GL841::SetExposurePercent(int colour, float percent) {
    if (!IsColour(colour) || !(percent >= 0.0f && percent <= 100.0f)) {
        return false;
    }
    exposurePercent_[colour] = percent;
    exposure_[colour] = static_cast<uint32_t>(std::floor(percent / 100.0 * maxExposure_[colour]));
    return true;
}

float GL841::GetExposurePercent(int colour) {
    if (!IsColour(colour) || maxExposure_[colour] == 0) {
        return 0.0f;
    }
    return static_cast<float>(exposure_[colour] * 100.0 / maxExposure_[colour]);
}

std::vector<uint32_t>& GL841::SizedShadingTable(int channel, size_t pixels) {
    std::vector<uint32_t>& table = shading_[channel];
    if (table.size() != pixels + kLeadingEntries) {
        table.resize(pixels + kLeadingEntries);
    }
    return table;
}

void GL841::SetShadingOffsets(int channel, std::span<const int32_t> offsets) {
    if (!IsShadingChannel(channel)) {
        return;
    }
    std::vector<uint32_t>& table = SizedShadingTable(channel, offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        uint32_t& entry = table[i + kLeadingEntries];
        entry = (entry & 0xFFFF0000u) | (static_cast<uint32_t>(offsets[i]) & 0xFFFFu);
    }
    shadingPresent_ = true;
}

void GL841::SetShadingGains(int channel, std::span<const float> gains) {
    if (!IsShadingChannel(channel)) {
        return;
    }
    const bool narrowRange = ReadField(ShadingGainRange, true) == 1;
    const double maxGain = narrowRange ? 3.99999 : 7.99999;
    const double unit = narrowRange ? 16384.0 : 8192.0;
    std::vector<uint32_t>& table = SizedShadingTable(channel, gains.size());
    for (size_t i = 0; i < gains.size(); ++i) {
        const double gain = std::clamp(static_cast<double>(gains[i]), 0.0, maxGain);
        const auto code = static_cast<uint32_t>(std::isnan(gain) ? 0.0 : std::floor(gain * unit));
        uint32_t& entry = table[i + kLeadingEntries];
        entry = (entry & 0xFFFFu) | (code << 16);
    }
    shadingPresent_ = true;
}

void GL841::SetGammaTable(int channel, std::span<const uint16_t> table) {
    // A table in use has at least 256 entries; shorter ones are refused.
    if (!IsShadingChannel(channel) || (!table.empty() && table.size() < kMinGammaEntries)) {
        return;
    }
    gamma_[channel].assign(table.begin(), table.end());
}

bool GL841::CalibrationData(CalibrationFile* file, bool write) {
    if (file == nullptr) {
        return false;
    }
    shadingPresent_ = true;
    if (write) {
        for (uint32_t exposure : exposure_) {
            if (!WriteU32(*file, exposure)) {
                return false;
            }
        }
        for (const std::vector<uint32_t>& table : shading_) {
            const size_t count = table.size() > kLeadingEntries ? table.size() - kLeadingEntries : 0;
            if (!WriteU32(*file, static_cast<uint32_t>(count))) {
                return false;
            }
            for (size_t i = 0; i < count; ++i) {
                if (!WriteU32(*file, table[i + kLeadingEntries])) {
                    return false;
                }
            }
        }
        return true;
    }
    for (int colour = 0; colour < 3; ++colour) {
        uint32_t exposure = 0;
        if (!ReadU32(*file, &exposure)) {
            return false;
        }
        exposure_[colour] = std::min(exposure, maxExposure_[colour]);
    }
    for (std::vector<uint32_t>& table : shading_) {
        uint32_t count = 0;
        if (!ReadU32(*file, &count)) {
            return false;
        }
        if (count > kMaxCalibrationEntries) {
            // The tables not yet read keep their contents.
            return false;
        }
        std::vector<uint32_t> read(count + kLeadingEntries, 0);
        for (uint32_t i = 0; i < count; ++i) {
            if (!ReadU32(*file, &read[i + kLeadingEntries])) {
                return false;
            }
        }
        table = std::move(read);
    }
    return true;
}
