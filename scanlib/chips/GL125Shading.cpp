// GL125: exposure per colour and the LED timing that realises it, the
// per-pixel shading tables and their upload, the gamma tables, and the
// controller's block of the calibration file.
#include "chips/GL125.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/GL125ImageLayout.h"
#include "os/files/CalibrationFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kLeading = kGL125ShadingLeadingEntries;
constexpr int kMonoTable = 3;
constexpr int kAllChannels = 4;

bool IsColour(int colour) { return colour >= 0 && colour < 3; }
bool IsChannel(int channel) { return channel >= 0 && channel < 4; }

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

std::vector<uint8_t> LittleEndian(std::span<const uint32_t> entries) {
    std::vector<uint8_t> bytes(entries.size() * 4);
    for (size_t i = 0; i < entries.size(); ++i) {
        for (size_t b = 0; b < 4; ++b) {
            bytes[4 * i + b] = static_cast<uint8_t>(entries[i] >> (8 * b));
        }
    }
    return bytes;
}

std::vector<uint8_t> LittleEndian(std::span<const uint16_t> entries) {
    std::vector<uint8_t> bytes(entries.size() * 2);
    for (size_t i = 0; i < entries.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(entries[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(entries[i] >> 8);
    }
    return bytes;
}

// The table that stands in for a colour without its own: a plain ramp.
std::vector<uint16_t> RampGammaTable() {
    std::vector<uint16_t> table(GL125::kGammaEntries);
    for (size_t j = 0; j + 1 < table.size(); ++j) {
        table[j] = static_cast<uint16_t>(256 * (j + 1));
    }
    table.back() = 0xFFFF;
    return table;
}

}  // namespace

bool GL125::SetExposurePercent(int colour, float percent) {
    if (!IsColour(colour) || !(percent >= 0.0f && percent <= 100.0f)) {
        return false;
    }
    exposurePercent_[colour] = percent;
    exposure_[colour] = static_cast<uint32_t>(std::trunc(percent / 100.0 * maxExposure_[colour]));
    return true;
}

float GL125::GetExposurePercent(int colour) {
    if (!IsColour(colour) || maxExposure_[colour] == 0) {
        return 0.0f;
    }
    return static_cast<float>(exposure_[colour] * 100.0 / maxExposure_[colour]);
}

size_t GL125::MaxShadingPixels() const {
    constexpr size_t kAreaPixels = GL125MaxShadingPixels();
    return sensorPixels_ > 0 ? std::min(kAreaPixels, sensorPixels_) : kAreaPixels;
}

std::vector<uint32_t>& GL125::SizedShadingTable(int channel, size_t pixels) {
    std::vector<uint32_t>& table = shading_[static_cast<size_t>(channel)];
    table.resize(pixels + kLeading, 0);
    return table;
}

void GL125::SetShadingOffsets(int channel, std::span<const int32_t> offsets) {
    if (!IsChannel(channel)) {
        return;
    }
    std::vector<uint32_t>& table = SizedShadingTable(channel, offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        uint32_t& entry = table[i + kLeading];
        entry = (entry & 0xFFFF0000u) | (static_cast<uint32_t>(offsets[i]) & 0xFFFFu);
    }
    shadingPresent_ = true;
}

void GL125::SetShadingGains(int channel, std::span<const float> gains) {
    if (!IsChannel(channel)) {
        return;
    }
    const uint32_t range = ReadField(gl125::kGainRange).value_or(ShadowField(gl125::kGainRange));
    const double maxGain = range == 1 ? 3.99999 : 7.99999;
    const double scale = range == 1 ? 16384.0 : 8192.0;
    std::vector<uint32_t>& table = SizedShadingTable(channel, gains.size());
    for (size_t i = 0; i < gains.size(); ++i) {
        const double gain = std::isnan(gains[i]) ? 0.0 : std::clamp(static_cast<double>(gains[i]), 0.0, maxGain);
        const auto code = static_cast<uint32_t>(std::trunc(gain * scale));
        uint32_t& entry = table[i + kLeading];
        entry = (entry & 0xFFFFu) | (code << 16);
    }
    shadingPresent_ = true;
}

bool GL125::UploadShading(int area, std::span<const uint32_t> table, int xResolution) {
    if (table.size() <= kLeading || table.size() - kLeading > GL125MaxShadingPixels()) {
        return false;
    }
    const std::vector<uint32_t> built = BuildGL125ShadingTable(opticalDpi_, xResolution, table);
    return BulkWrite(kShadingAddress[static_cast<size_t>(area)], LittleEndian(std::span<const uint32_t>(built)));
}

void GL125::WriteShadingAreas() {
    for (size_t c = 0; c < 3; ++c) {
        SetField(gl125::kShadingArea[c], kShadingAreaUnits[c], true);
    }
}

void GL125::SetupExposureAndShading(bool colour, int xResolution) {
    shadingUploaded_ = false;
    const bool shading = shadingEnabled_ && shadingPresent_;
    if (colour) {
        if (frontEnd_ != nullptr) {
            frontEnd_->SetChannelMode(true, 0);
        }
        for (size_t c = 0; c < 3; ++c) {
            const uint32_t ticks = std::max<uint32_t>(exposureTicks_[c], 1);
            SetField(gl125::kLedEnd[c], exposureStart_ + ticks, true);
        }
        const bool complete = std::all_of(shading_.begin(), shading_.begin() + 3,
                                          [](const std::vector<uint32_t>& t) { return t.size() > kLeading; });
        if (shading && complete) {
            // The area map first, so that each table lands inside its area
            // as the chip sees it.
            WriteShadingAreas();
            bool ok = true;
            for (int c = 0; c < 3 && ok; ++c) {
                ok = UploadShading(c, shading_[static_cast<size_t>(c)], xResolution);
            }
            shadingUploaded_ = ok;
        }
    } else {
        // The chosen colour's table is uploaded from where it is stored; the
        // mono table of all three LEDs is the calibration's own.
        struct MonoChoice {
            int afeChannel;
            int table;
            std::array<double, 3> weights;
        };
        constexpr double kThird = 0.333333;
        constexpr std::array<MonoChoice, 5> kChoices{{
            {0, 0, {1, 0, 0}},
            {1, 1, {0, 1, 0}},
            {2, 2, {0, 0, 1}},
            {-1, -1, {0, 0, 0}},
            {3, kMonoTable, {kThird, kThird, kThird}},
        }};
        const MonoChoice choice =
            monoChannel_ >= 0 && monoChannel_ <= kAllChannels ? kChoices[static_cast<size_t>(monoChannel_)]
                                                              : kChoices[3];
        if (choice.afeChannel >= 0 && frontEnd_ != nullptr) {
            frontEnd_->SetChannelMode(false, choice.afeChannel);
        }
        uint32_t previous = exposureStart_;
        for (size_t c = 0; c < 3; ++c) {
            auto end = static_cast<uint32_t>(std::trunc(exposureTicks_[c] * choice.weights[c] + previous));
            if (end == previous) {
                ++end;
            }
            SetField(gl125::kLedEnd[c], end, true);
            previous = end;
        }
        if (shading && choice.table >= 0 && shading_[static_cast<size_t>(choice.table)].size() > kLeading) {
            // All three bases, so that the chip sees a consistent map.
            WriteShadingAreas();
            shadingUploaded_ = UploadShading(0, shading_[static_cast<size_t>(choice.table)], xResolution);
        }
    }
    if (frontEnd_ != nullptr) {
        frontEnd_->WriteAllRegisters();
    }
}

void GL125::SetGammaTable(int channel, std::span<const uint16_t> table) {
    if (!IsChannel(channel) || (!table.empty() && table.size() != kGammaEntries)) {
        return;
    }
    gamma_[static_cast<size_t>(channel)].assign(table.begin(), table.end());
}

void GL125::SetupGamma(bool colour) {
    if (colour) {
        if (std::all_of(gamma_.begin(), gamma_.begin() + 3, [](const std::vector<uint16_t>& t) { return t.empty(); })) {
            SetField(gl125::kGammaOn, 0, true);
            return;
        }
        std::array<std::vector<uint16_t>, 3> tables;
        SetField(gl125::kGammaOn, 1, false);
        for (size_t c = 0; c < 3; ++c) {
            tables[c] = gamma_[c].empty() ? RampGammaTable() : gamma_[c];
            const bool inverted = tables[c][kGammaEntries - 1] < tables[c][0];
            SetField(gl125::kGammaInverted[c], inverted ? 1 : 0, false);
            SetField(gl125::kGammaNotInverted[c], inverted ? 0 : 1, false);
            SetField(gl125::kGammaInvertMask[c], inverted ? 0xFFFF : 0, false);
        }
        FlushRegisters();
        for (size_t c = 0; c < 3; ++c) {
            BulkWrite(kGammaAddress + static_cast<uint32_t>(c) * kGammaSlotBytes,
                      LittleEndian(std::span<const uint16_t>(tables[c])));
        }
        return;
    }
    const std::vector<uint16_t>& gray = gamma_[kMonoTable];
    if (gray.empty()) {
        SetField(gl125::kGammaOn, 0, true);
        return;
    }
    const bool inverted = gray[kGammaEntries - 1] < gray[0];
    SetField(gl125::kGammaOn, 1, true);
    SetField(gl125::kGammaInverted[0], inverted ? 1 : 0, false);
    SetField(gl125::kGammaNotInverted[0], inverted ? 0 : 1, false);
    SetField(gl125::kGammaInvertMask[0], inverted ? 0xFFFF : 0, false);
    FlushRegisters();
    BulkWrite(kGammaAddress, LittleEndian(std::span<const uint16_t>(gray)));
}

bool GL125::CalibrationData(CalibrationFile* file, bool write) {
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
            const size_t count = table.size() > kLeading ? table.size() - kLeading : 0;
            if (!WriteU32(*file, static_cast<uint32_t>(count))) {
                return false;
            }
            for (size_t i = 0; i < count; ++i) {
                if (!WriteU32(*file, table[i + kLeading])) {
                    return false;
                }
            }
        }
        return true;
    }
    for (size_t colour = 0; colour < 3; ++colour) {
        uint32_t exposure = 0;
        if (!ReadU32(*file, &exposure)) {
            return false;
        }
        exposure_[colour] = std::min(exposure, maxExposure_[colour]);
    }
    // A count the chip's shading area or the sensor line cannot hold ends the
    // reading; that table and the ones after it keep their contents.
    const size_t limit = std::min<size_t>(kMaxCalibrationEntries, MaxShadingPixels());
    for (std::vector<uint32_t>& table : shading_) {
        uint32_t count = 0;
        if (!ReadU32(*file, &count) || count > limit) {
            return false;
        }
        std::vector<uint32_t> read(count + kLeading, 0);
        for (uint32_t i = 0; i < count; ++i) {
            if (!ReadU32(*file, &read[i + kLeading])) {
                return false;
            }
        }
        table = std::move(read);
    }
    return true;
}
