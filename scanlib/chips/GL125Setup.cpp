// GL125: bring-up and the power-on register image, the sensor module's
// derived values, the master clock, and programming, starting and ending a
// scan.
#include "chips/GL125.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/CISModule.h"
#include "chips/GL125ImageLayout.h"
#include "device/DevicePort.h"
#include "device/PortLocker.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

using gl125::Field;

struct FieldValue {
    Field field;
    uint32_t value;
};

// The power-on image, staged in this order; register 0x0B bit 3 and the
// exposure start come between the parts.
constexpr FieldValue kDefaultsFirst[] = {
    {{0x01, 1, 7}, 1}, {{0x08, 1, 4}, 1}, {{0x19, 1, 0}, 1}, {{0x0B, 3, 0}, 1},
};

constexpr FieldValue kDefaultsMiddle[] = {
    {{0x13, 5, 0}, 31}, {{0x0B, 1, 4}, 0}, {{0x08, 1, 7}, 0}, {{0x02, 1, 6}, 0}, {{0x02, 1, 3}, 0},
    {{0x02, 1, 4}, 0},  {{0x03, 1, 4}, 0}, {{0x03, 1, 6}, 1}, {{0x04, 1, 6}, 0}, {{0x04, 3, 0}, 4},
    {{0x06, 3, 5}, 0},  {{0x06, 1, 3}, 1}, {{0x06, 3, 0}, 0}, {{0x09, 2, 6}, 0}, {{0x0D, 1, 0}, 1},
    // LED timing.
    {{0x8C, 21, 0}, 3168}, {{0x8F, 21, 0}, 3808}, {{0x92, 21, 0}, 3712},
    {{0x16, 1, 4}, 0}, {{0x16, 1, 5}, 0}, {{0x16, 1, 1}, 0}, {{0x18, 2, 0}, 0}, {{0x17, 2, 6}, 0},
    {{0x18, 2, 2}, 0}, {{0x4F, 1, 0}, 1},
    {{0x30, 1, 2}, 1}, {{0x30, 1, 1}, 1}, {{0x4F, 1, 1}, 1}, {{0x38, 1, 6}, 1},
};

constexpr FieldValue kDefaultsLast[] = {
    {{0x1A, 1, 4}, 0}, {{0x1C, 1, 5}, 0}, {{0x1C, 1, 6}, 0}, {{0x22, 12, 0}, 2}, {{0x1E, 4, 4}, 3},
    {{0x2A, 24, 0}, 4096}, {{0x2B, 8, 0}, 8},
    // Motor table lengths.
    {{0xA5, 13, 0}, 1}, {{0xAB, 13, 0}, 1}, {{0xA7, 13, 0}, 32}, {{0xA9, 13, 0}, 32},
    {{0x114, 8, 0}, 130}, {{0x115, 8, 0}, 126}, {{0x0A, 1, 4}, 0}, {{0x52, 5, 0}, 10}, {{0x53, 5, 0}, 13},
    {{0x5A, 5, 3}, 5}, {{0x5A, 3, 0}, 2}, {{0x5C, 1, 7}, 0}, {{0x5C, 1, 6}, 0}, {{0xA1, 5, 0}, 1},
    {{0xA0, 3, 0}, 1}, {{0x9B, 5, 0}, 31}, {{0xA0, 3, 3}, 1}, {{0x9C, 5, 0}, 31}, {{0x70, 5, 0}, 0},
    {{0x71, 5, 0}, 0}, {{0x72, 5, 0}, 0}, {{0x73, 5, 0}, 0}, {{0x60, 1, 4}, 1}, {{0x9F, 1, 0}, 0},
    {{0x3A, 4, 0}, 0}, {{0x4F, 1, 3}, 0},
};

struct ClockCode {
    uint32_t hz;
    uint8_t code;
};

constexpr ClockCode kClockCodes[] = {
    {24000000, 10}, {30000000, 11}, {40000000, 12}, {48000000, 13}, {60000000, 14}, {80000000, 15},
};
constexpr int kClockIndex = 0x10;
constexpr int kSecondClockIndex = 0x13;

// Above this many sensor pixels the chip has no dpi class.
constexpr int kMaxClassPixels = 0x5400;
constexpr double kExposureReserveNs = 30000.0;
constexpr double kExposureStartSeconds = 0.000025;
constexpr int kStopPolls = 20;
constexpr int kStopPollMs = 5;
constexpr uint8_t kIdleMask = 0x11;
constexpr uint8_t kIdle = 0x10;

}  // namespace

void GL125::WriteDefaultRegisters(bool apply) {
    for (const FieldValue& f : kDefaultsFirst) {
        SetField(f.field, f.value, false);
    }
    // Register 0x0B restarts the chip's clock logic: only a freshly powered
    // chip gets it, never one that another process may be scanning with.
    if (apply) {
        SetField(gl125::kClockSelect, 0, true);
        SetField(gl125::kClockSelect, 1, true);
    } else {
        SetField(gl125::kClockSelect, 1, false);
    }
    for (const FieldValue& f : kDefaultsMiddle) {
        SetField(f.field, f.value, false);
    }
    SetField(gl125::kLedOn, exposureStart_, false);
    for (const FieldValue& f : kDefaultsLast) {
        SetField(f.field, f.value, false);
    }
    if (apply) {
        SetClock(clock_);
        FlushRegisters();
    } else {
        for (ShadowEntry& e : shadow_) {
            e.dirty = 0;
        }
    }
}

bool GL125::Init() {
    shadow_.fill({0, 0});
    for (auto& table : gamma_) {
        table.clear();
    }
    try {
        lineBuffer_.assign(kLineBufferBytes, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (frontEnd_ != nullptr) {
        frontEnd_->SetController(this);
    }
    SetShadingEnabled(true);
    for (int colour = 0; colour < 3; ++colour) {
        SetExposurePercent(colour, 100.0f);
    }
    WriteDefaultRegisters(!IsPowerBitSet());
    // The pins keep the state the board has.
    for (uint16_t reg = 0x31; reg <= 0x38; ++reg) {
        ReadRegister(reg, nullptr);
    }
    packetSize_ = static_cast<uint16_t>(GetBulkPacketSize());
    bounce_.assign(packetSize_, 0);
    return true;
}

void GL125::SetCisModule(CISModule* module, int sensorCount, std::span<const float, 3> lineRates) {
    cisModule_ = module;
    if (module == nullptr) {
        return;
    }
    opticalDpi_ = module->GetOpticalDpi();
    const int pixels = std::max(sensorCount, 0) * module->GetPixelCount();
    sensorPixels_ = static_cast<size_t>(pixels);
    if (pixels > kMaxClassPixels) {
        return;
    }
    if (pixels > 10880) {
        dpiClass_ = 2400;
    } else if (pixels > 6144) {
        dpiClass_ = std::max(opticalDpi_, 1200);
    } else {
        dpiClass_ = std::max(opticalDpi_, 600);
    }
    startPixel_ = static_cast<uint8_t>(module->GetDummyPixels() + 4);
    linePixels_ = startPixel_ + module->GetPixelCount() + 20;
    for (size_t c = 0; c < 3; ++c) {
        const double rate = lineRates[c];
        const double ns = rate > 0.0 ? std::trunc(1e9 / rate) - kExposureReserveNs : 0.0;
        maxExposure_[c] = ns > 0.0 ? static_cast<uint32_t>(std::min(ns, 4294967295.0)) : 0;
        exposure_[c] = maxExposure_[c];
    }
    const bool fresh = !IsPowerBitSet();
    SetField(gl125::kDpiClassFlag, dpiClass_ != 600 ? 1 : 0, false);
    SetField(gl125::kModeFactor, static_cast<uint32_t>(module->GetModeFactor()), false);
    SetField(gl125::kStartPixel, startPixel_, false);
    SetField(gl125::kSensorControl, module->GetControlFlag() != 0 ? 1 : 0, false);
    SetField(gl125::kPowerBit, 1, false);
    if (fresh) {
        FlushRegisters();
    }
}

uint32_t GL125::ChooseClock() const {
    long long line = linePixels_;
    if (cisModule_ != nullptr && xResolution_ > 0) {
        const long long pixels = cisModule_->GetPixelCount();
        const long long needed =
            (static_cast<long long>(opticalDpi_) * scanWidth_ + xResolution_ - 1) / xResolution_;
        if (pixels < needed) {
            line += pixels;
        }
    }
    const double linesPerSecond = std::trunc(xResolution_ * scanRate_ * (colorMode_ == 2 ? 3.0 : 1.0));
    const auto rate16 = static_cast<uint16_t>(linesPerSecond > 0 ? static_cast<long long>(linesPerSecond) : 0);
    const double need = std::round(static_cast<double>(line) * rate16 * 12.0);
    for (uint32_t hz : kClockChoices) {
        if (hz > need) {
            return hz;
        }
    }
    return kClockChoices.back();
}

bool GL125::SetClock(uint32_t hz) {
    const auto* entry = std::find_if(std::begin(kClockCodes), std::end(kClockCodes),
                                     [hz](const ClockCode& c) { return c.hz == hz; });
    if (entry == std::end(kClockCodes)) {
        return false;
    }
    const uint8_t code = entry->code;
    bool ok = SetField(gl125::kClockCode, code - 10u, true);
    if (PortOpen()) {
        PortLocker locker(port_);
        locker.Lock();
        ok = port_->WriteRegisters(kRequestClock, kClockIndex, &code, 1) && ok;
        ok = port_->WriteRegisters(kRequestClock, kSecondClockIndex, &code, 1) && ok;
    }
    return ok;
}

bool GL125::SetupScan() {
    clock_ = ChooseClock();
    SetClock(clock_);
    SetField(gl125::kColourFactor, 0, true);
    SetField(gl125::kLinePeriod, 1, true);

    exposureStart_ = static_cast<uint32_t>(std::trunc(clock_ * kExposureStartSeconds / 12.0));
    SetField(gl125::kLedOn, exposureStart_, false);
    waitingBytes_ = 0;
    for (size_t c = 0; c < 3; ++c) {
        const double ns = std::trunc(exposurePercent_[c] / 100.0 * maxExposure_[c]);
        const double ticks = std::trunc(ns / 1e9 * clock_ / 12.0);
        exposureTicks_[c] = static_cast<uint16_t>(std::clamp(ticks, 0.0, 65535.0));
    }
    SetField(gl125::kMotorMode, 3, false);
    SetField(gl125::kRunFlag, 1, false);

    paddedWidth_ = GL125PaddedWidth(scanWidth_, bitsPerPixel_);
    const int xRes = std::max(xResolution_, 1);
    const int start = opticalDpi_ * xOffset_ / xRes;
    const int width = opticalDpi_ * paddedWidth_ / xRes;

    const bool colour = colorMode_ == 2;
    int lineFactor = 1;
    if (colour) {
        SetField(gl125::kMonoSequencing, 0, false);
        SetupExposureAndShading(true, xResolution_);
        SetField(gl125::kColourSequencing, 1, false);
        SetField(gl125::kMonoFormat, 0, false);
        lineFactor = 3;
    } else {
        SetField(gl125::kMonoSequencing, 1, false);
        SetupExposureAndShading(false, xResolution_);
        SetField(gl125::kColourSequencing, 0, false);
        SetField(gl125::kMonoFormat, 1, false);
        if (colorMode_ == 0) {
            const int threshold = std::clamp(threshold_, 0, 255);
            SetField(gl125::kThresholdHigh, static_cast<uint32_t>(std::min(threshold + 1, 255)), false);
            SetField(gl125::kThresholdLow, static_cast<uint32_t>(threshold >= 2 ? threshold - 1 : 0), false);
        }
    }
    // Shading is on only when this scan's tables reached the chip.
    SetField(gl125::kShadingOn, shadingUploaded_ ? 1 : 0, false);
    SetupGamma(colour);

    SetField({0xE1, 16, 0}, 112, false);
    SetField({0xE3, 16, 0}, 567, false);
    SetField({0xE5, 16, 0}, 568, true);
    SetField({0xE7, 16, 0}, 1023, true);
    SetField({0xF8, 4, 4}, 0, true);
    SetField({0xF8, 4, 0}, 0, true);

    SetField(gl125::kIntegerDivisor, GL125IntegerDivisor(opticalDpi_, xResolution_) ? 1 : 0, false);

    scanLength_ = scanLength_ + 2 + (colorMode_ == 0 ? 8 : 0);

    SetField(gl125::kScanReverse, feedForward_ ? 0 : 1, false);
    SetField(gl125::kMoveReverse, 0, false);
    const bool anyExposure = exposurePercent_[0] != 0.0f || exposurePercent_[1] != 0.0f || exposurePercent_[2] != 0.0f;
    SetField(gl125::kLamp, lampPower_ && anyExposure ? 1 : 0, false);
    const auto windowStart = static_cast<uint16_t>(startPixel_ + start);
    SetField(gl125::kWindowStart, windowStart, false);
    SetField(gl125::kWindowEnd, static_cast<uint16_t>(windowStart + width), true);

    SetField(gl125::kLineArt, colorMode_ == 0 ? 1 : 0, false);
    SetField(gl125::kResolution, static_cast<uint32_t>(opticalDpi_ > 0 ? dpiClass_ * xResolution_ / opticalDpi_ : 0),
             false);

    SetupScanMotor(xResolution_, bitsPerPixel_);
    // The lines of the ramp come before the page's.
    programmedLines_ = static_cast<uint32_t>(lineFactor * (scanLength_ + static_cast<int64_t>(leadLines_))) &
                       gl125::kLineCount.Mask();
    SetField(gl125::kLineCount, programmedLines_, false);
    leadLinesToDrop_ = leadLines_;

    SetField(gl125::kColourFactor, static_cast<uint32_t>(lineFactor - 1), false);
    FlushRegisters();

    SetField(gl125::kMotorPower, motorPower_ ? 1 : 0, true);
    SetField(gl125::kBufferStrobe, 1, true);
    SetField(gl125::kStepStrobe, 1, true);
    SetField(gl125::kScanRunning, 1, true);
    SetField(gl125::kStart, 1, true);
    return true;
}

void GL125::StopScan() {
    SetField(gl125::kLineCount, 1, true);
    for (int poll = 0; poll < kStopPolls; ++poll) {
        uint8_t status = 0;
        if (ReadRegister(gl125::kStatusRegister, &status) && (status & kIdleMask) == kIdle) {
            break;
        }
        OSSleep(kStopPollMs);
    }
    SetField(gl125::kMotorPower, 0, true);
    SetField(gl125::kLamp, 0, true);
    SetField(gl125::kRunFlag, 0, true);
    SetField(gl125::kScanRunning, 0, true);
    clock_ = kIdleClock;
    SetClock(clock_);
}
