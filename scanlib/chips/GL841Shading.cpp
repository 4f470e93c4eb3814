// GL841: exposure per colour, the per-pixel shading tables and their
// upload at the scan's resolution, the gamma tables and their upload, and
// the controller's block of the calibration file.
#include "chips/GL841.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/GL841ShadingLayout.h"

#include "os/files/CalibrationFile.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr size_t kLeadingEntries = gl841::kShadingLeadingEntries;
constexpr size_t kGammaEntries = 256;  // one gamma slot
constexpr uint8_t kRegGammaDirection = 0x08;
constexpr uint8_t kGammaDescending = 0x40;

// Gamma memory slot of each colour table.
constexpr std::array<uint32_t, 3> kGammaSlots = {512, 0, 256};

// Shading memory of chip colours 1 and 2 by dpi class; colour 0 and mono at 0.
struct ShadingLayout {
    int dpiClass;
    uint32_t colour1;
    uint32_t colour2;
};
constexpr std::array<ShadingLayout, 3> kShadingLayouts = {{
    {600, 0x2A00, 0x5400},
    {1200, 0x5500, 0xAA00},
    {2400, 0xA800, 0x15000},
}};

const ShadingLayout& LayoutOfClass(int dpiClass) {
    for (const ShadingLayout& l : kShadingLayouts) {
        if (l.dpiClass == dpiClass) {
            return l;
        }
    }
    return kShadingLayouts.back();
}

// Weights of the three lamp periods of a mono line, by mono channel code.
struct MonoChannel {
    int code;
    int frontEndChannel;  // -1: the front end is left as it is
    int table;
    std::array<float, 3> weights;
};
constexpr std::array<MonoChannel, 4> kMonoChannels = {{
    {0, 0, 0, {1.0f, 0.0f, 0.0f}},
    {1, 1, 1, {0.0f, 1.0f, 0.0f}},
    {2, 2, 2, {0.0f, 0.0f, 1.0f}},
    {4, 3, 3, {0.333333f, 0.333333f, 0.333333f}},
}};
constexpr MonoChannel kNoMonoChannel = {-1, -1, 3, {0.0f, 0.0f, 0.0f}};

const MonoChannel& MonoChannelOf(int code) {
    for (const MonoChannel& m : kMonoChannels) {
        if (m.code == code) {
            return m;
        }
    }
    return kNoMonoChannel;
}

uint32_t Clamp16(double v) { return v <= 0.0 ? 0u : static_cast<uint32_t>(std::min(v, 65535.0)); }

bool IsDescending(std::span<const uint16_t> table) { return table.size() >= kGammaEntries && table[255] < table[0]; }

std::vector<uint16_t> Ramp(bool descending) {
    std::vector<uint16_t> ramp(kGammaEntries);
    for (size_t v = 0; v < kGammaEntries; ++v) {
        ramp[v] = static_cast<uint16_t>(descending ? 65535 - 256 * v : 256 * v);
    }
    return ramp;
}

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
    // A table is one whole slot or none.
    if (!IsShadingChannel(channel) || (!table.empty() && table.size() != kGammaEntries)) {
        return;
    }
    gamma_[channel].assign(table.begin(), table.end());
}

bool GL841::UploadShading(uint32_t address, std::span<const uint32_t> table, int resolution) {
    // A table without pixel entries shades nothing; a table longer than its region would run into the next channel's.
    const uint32_t regionWords = LayoutOfClass(dpiClass_).colour1;
    if (table.size() <= kLeadingEntries || table.size() * 2 > regionWords) {
        return false;
    }
    const std::vector<uint32_t> reduced = gl841::BuildShadingTable(opticalDpi_, resolution, table);
    std::vector<uint8_t> bytes;
    bytes.reserve(reduced.size() * 4);
    for (uint32_t e : reduced) {
        for (int b = 0; b < 4; ++b) {
            bytes.push_back(static_cast<uint8_t>(e >> (8 * b)));
        }
    }
    return BulkIO(true, GL841Memory::Shading, address, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

bool GL841::SetupExposureAndShading(bool colour, int resolution, bool* shadingUploaded) {
    const uint32_t lead = ReadField(ExposureLead, false);
    bool uploaded = false;
    if (colour) {
        if (frontEnd_ != nullptr) {
            frontEnd_->SetChannelMode(true, 0);
        }
        const std::array<GL841Field, 3> fields = {ExposureRed, ExposureGreen, ExposureBlue};
        for (size_t c = 0; c < 3; ++c) {
            const uint32_t count = exposureCount_[c];
            SetField(fields[c], Clamp16(lead + count + (count == 0 ? 1 : 0)), true);
        }
        const auto hasPixels = [this](size_t c) { return shading_[c].size() > kLeadingEntries; };
        if (shadingEnabled_ && hasPixels(0) && hasPixels(1) && hasPixels(2)) {
            const ShadingLayout& layout = LayoutOfClass(dpiClass_);
            const std::array<uint32_t, 3> addresses = {0, layout.colour1, layout.colour2};
            uploaded = true;
            for (size_t c = 0; c < 3; ++c) {
                uploaded = UploadShading(addresses[c], shading_[c], resolution) && uploaded;
            }
        }
    } else {
        const MonoChannel& mono = MonoChannelOf(monoChannel_);
        if (mono.frontEndChannel >= 0 && frontEnd_ != nullptr) {
            frontEnd_->SetChannelMode(false, mono.frontEndChannel);
        }
        // The three lamp periods follow each other; each is at least one count.
        uint32_t start = lead;
        const std::array<GL841Field, 3> fields = {ExposureRed, ExposureGreen, ExposureBlue};
        for (size_t c = 0; c < 3; ++c) {
            uint32_t end = Clamp16(std::floor(exposureCount_[c] * mono.weights[c] + static_cast<float>(start)));
            if (end == start) {
                end = Clamp16(end + 1.0);
            }
            SetField(fields[c], end, true);
            start = end;
        }
        // A single sensor channel shades with that channel's table, uploaded
        // from where it is stored; the gray table stays as calibrated.
        if (shadingEnabled_) {
            uploaded = UploadShading(0, shading_[static_cast<size_t>(mono.table)], resolution);
        }
    }
    if (shadingUploaded != nullptr) {
        *shadingUploaded = uploaded;
    }
    return frontEnd_ != nullptr && frontEnd_->WriteAllRegisters();
}

bool GL841::UploadGamma(uint32_t address, std::span<const uint16_t> table) {
    const size_t entries = std::min(table.size(), kGammaEntries);
    std::vector<uint8_t> bytes;
    bytes.reserve(entries * 2);
    for (size_t i = 0; i < entries; ++i) {
        bytes.push_back(static_cast<uint8_t>(table[i]));
        bytes.push_back(static_cast<uint8_t>(table[i] >> 8));
    }
    return BulkIO(true, GL841Memory::Gamma, address, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void GL841::SetupGamma(bool colour) {
    if (!colour) {
        const std::vector<uint16_t>& gray = gamma_[3];
        if (gray.empty()) {
            SetField(GammaEnable, 0, true);
            return;
        }
        SetField(GammaEnable, 1, true);
        UploadGamma(0, gray);
        WriteRegister(kRegGammaDirection, IsDescending(gray) ? kGammaDescending : 0);
        return;
    }
    const auto first = std::find_if(gamma_.begin(), gamma_.begin() + 3, [](const auto& t) { return !t.empty(); });
    if (first == gamma_.begin() + 3) {
        SetField(GammaEnable, 0, true);
        return;
    }
    // Channels without a table get a straight ramp in the direction of the
    // first one that has a table; the stored tables stay as they were set.
    const bool descending = IsDescending(*first);
    std::array<std::vector<uint16_t>, 3> tables;
    for (size_t c = 0; c < 3; ++c) {
        tables[c] = gamma_[c].empty() ? Ramp(descending) : gamma_[c];
    }
    SetField(GammaEnable, 1, true);
    WriteRegister(kRegGammaDirection, IsDescending(tables[0]) ? kGammaDescending : 0);
    for (size_t c = 0; c < 3; ++c) {
        UploadGamma(kGammaSlots[c], tables[c]);
    }
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
