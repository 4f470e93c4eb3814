// GL841: the sensor module's derived values, speed limits, the clock, scan
// setup, the image read-out and the end of a scan.
#include "chips/GL841.h"

#include "chips/CISModule.h"
#include "chips/GL841ShadingLayout.h"
#include "chips/Motor.h"
#include "device/PortLocker.h"
#include "os/OSFunctions.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Above this many sensor pixels the chip has no dpi class.
constexpr int kMaxClassPixels = 0x5400;
constexpr double kPeriodCounts = 15.0 * 65535.0;
constexpr double kExposureReserveNs = 30000.0;
constexpr double kClocksPerCount = 15.0;
constexpr double kExposureLeadSeconds = 0.000025;

constexpr std::array<uint32_t, 2> kCandidateClocks = {30000000, 40000000};

constexpr int kColourMode = 2;
constexpr int kLineArtMode = 0;
constexpr uint32_t kMotorModeRun = 3;
constexpr uint32_t kMaxLineCount = 0xFFFFF;  // the 20-bit LineCount field
constexpr int kExtraLines = 2;
constexpr int kExtraLineArtLines = 8;

constexpr uint8_t kRegStatus = 0x41;
constexpr uint8_t kStatusIdleMask = 0x11;  // engine idle bit and motor bit
constexpr uint8_t kStatusIdle = 0x10;
constexpr int kStopScanPolls = 20;
constexpr int kStopScanPollMs = 5;

uint32_t Clamp16(double v) { return v <= 0.0 ? 0u : static_cast<uint32_t>(std::min(v, 65535.0)); }

}  // namespace

void GL841::SetCisModule(CISModule* module, int sensorCount, std::span<const float, 3> lineRates) {
    cisModule_ = module;
    if (module == nullptr) {
        return;
    }
    const bool fresh = ReadField(PowerBit, true) == 0;
    opticalDpi_ = module->GetOpticalDpi();
    const int pixels = sensorCount * module->GetPixelCount();
    if (pixels > kMaxClassPixels) {
        return;
    }
    if (pixels < 6145) {
        dpiClass_ = std::max(600, opticalDpi_);
    } else if (pixels < 10881) {
        dpiClass_ = std::max(1200, opticalDpi_);
    } else {
        dpiClass_ = 2400;
    }
    lineStartOffset_ = module->GetDummyPixels() + lineStartMargin_ + 3;
    lineLength_ = lineStartOffset_ + module->GetPixelCount() + 20;
    for (size_t c = 0; c < 3; ++c) {
        const double rate = lineRates[c];
        const double ns = rate > 0.0 ? std::ceil(1e9 / rate) - kExposureReserveNs : 0.0;
        maxExposure_[c] = ns > 0.0 ? static_cast<uint32_t>(std::min(ns, 4294967295.0)) : 0;
        exposure_[c] = maxExposure_[c];
    }
    SetField(ChipDpiClassFlag, dpiClass_ == 600 ? 0 : 1, false);
    SetField(SensorModeFactor, static_cast<uint32_t>(module->GetModeFactor()), false);
    SetField(LineStartOffset, static_cast<uint32_t>(lineStartOffset_), false);
    SetField(PowerBit, 1, false);
    if (fresh) {
        // The chip now carries the marker that this driver initialised it.
        FlushRegisters();
    }
}

float GL841::GetMinScanRate(int linesPerInch) {
    double rate = 0.0;
    const double stepsPerInch = motor_ != nullptr ? motor_->GetStepsPerInch() : 0.0;
    if (stepsPerInch > 0.0) {
        rate = std::max(rate, clock_ / (stepsPerInch * kPeriodCounts));
    }
    if (linesPerInch > 0) {
        rate = std::max(rate, clock_ / (linesPerInch * kPeriodCounts));
    }
    return static_cast<float>(rate);
}

float GL841::ComputeScanRate() {
    const double stepsPerInch = motor_ != nullptr ? motor_->GetStepsPerInch() : 0.0;
    if (stepsPerInch <= 0.0 || lineLength_ <= 0) {
        return 0.0f;
    }
    return static_cast<float>(clock_ / (stepsPerInch * lineLength_ * 15.0));
}

uint32_t GL841::ChooseClock() const {
    double length = lineLength_;
    if (cisModule_ != nullptr && xResolution_ > 0) {
        const auto span = static_cast<int64_t>(
            std::ceil(static_cast<double>(opticalDpi_) * scanWidth_ / xResolution_));
        if (cisModule_->GetPixelCount() < span) {
            length += cisModule_->GetPixelCount();  // the line runs on into the second sensor
        }
    }
    const double rate = static_cast<double>(xResolution_) * scanRate_ * (colorMode_ == kColourMode ? 3 : 1);
    const auto linesPerSecond =
        std::isfinite(rate) ? static_cast<uint16_t>(static_cast<int64_t>(rate) & 0xFFFF) : uint16_t{0};
    const double needed = std::round(length * linesPerSecond * kClocksPerCount);
    for (uint32_t clock : kCandidateClocks) {
        if (clock > needed) {
            return clock;
        }
    }
    return kCandidateClocks.back();
}

bool GL841::SetupScan() {
    // Without the chip, a sensor, a motor or a resolution there is no line
    // to time.
    if (!PortOpen() || cisModule_ == nullptr || motor_ == nullptr || xResolution_ <= 0 || opticalDpi_ <= 0 ||
        !(motor_->GetStepsPerInch() > 0.0f)) {
        return false;
    }
    moveArmed_ = false;
    clock_ = ChooseClock();
    SetClock(clock_);

    SetField(ExposureLead, static_cast<uint32_t>(std::floor(clock_ * kExposureLeadSeconds / kClocksPerCount)), false);
    bufferedBytes_ = 0;
    linesScanned_ = 0;
    for (size_t c = 0; c < 3; ++c) {
        exposureCount_[c] = static_cast<uint16_t>(Clamp16(std::floor(exposure_[c] / 1e9 * clock_ / kClocksPerCount)));
    }

    SetField(MotorMode, kMotorModeRun, false);
    SetField(RunFlag, 1, false);

    const bool colour = colorMode_ == kColourMode;
    bool shadingUploaded = false;
    int channels = 1;
    if (colour) {
        SetField(MonoSelect, 0, false);
        SetupExposureAndShading(true, xResolution_, &shadingUploaded);
        SetField(ColorSelect, 1, false);
        SetField(ChannelLayout, 0, false);
        SetField(LineArt, 0, false);
        channels = 3;
    } else {
        SetField(MonoSelect, 1, false);
        SetupExposureAndShading(false, xResolution_, &shadingUploaded);
        SetField(ColorSelect, 0, false);
        SetField(ChannelLayout, 1, false);
        const bool lineArt = colorMode_ == kLineArtMode;
        SetField(LineArt, lineArt ? 1 : 0, false);
        if (lineArt) {
            SetField(ThresholdHigh, static_cast<uint32_t>(std::clamp(threshold_ + 1, 0, 255)), false);
            SetField(ThresholdLow, static_cast<uint32_t>(std::clamp(threshold_ - 1, 0, 255)), false);
        }
    }
    // Shading only over tables this scan put into the chip.
    SetField(ShadingEnable, shadingEnabled_ && shadingPresent_ && shadingUploaded ? 1 : 0, false);
    SetupGamma(colour);

    SetField(AveragingEnable, gl841::AveragingRatio(opticalDpi_, xResolution_) ? 1 : 0, false);

    SetField(ScanReverse, feedForward_ ? 0 : 1, false);
    SetField(MoveReverse, 0, false);
    const bool dark = exposure_[0] == 0 && exposure_[1] == 0 && exposure_[2] == 0;
    SetField(LampOn, lampPower_ && !dark ? 1 : 0, false);

    const int64_t x0 = static_cast<int64_t>(opticalDpi_) * xOffset_ / xResolution_;
    const int64_t width = static_cast<int64_t>(opticalDpi_) * scanWidth_ / xResolution_;
    SetField(StartPixel, static_cast<uint32_t>(x0 + lineStartOffset_), true);
    SetField(EndPixel, static_cast<uint32_t>(width + x0 + lineStartOffset_), true);
    SetField(ResolutionSetting, static_cast<uint32_t>(dpiClass_ * xResolution_ / opticalDpi_), false);

    SetupScanMotor(xResolution_, bitsPerPixel_);
    // A few lines beyond the page so the last ones are complete, and the
    // lines of the ramp before it; a negative length (scan until the paper
    // ends) and long pages take the largest count.
    const int64_t lines =
        (static_cast<int64_t>(scanLength_) + kExtraLines + (colorMode_ == kLineArtMode ? kExtraLineArtLines : 0)) *
        channels;
    const int64_t withLead = lines + static_cast<int64_t>(leadLines_) * channels;
    SetField(LineCount, lines < 0 || withLead > kMaxLineCount ? kMaxLineCount : static_cast<uint32_t>(withLead),
             false);
    leadLinesToDrop_ = leadLines_;
    FlushRegisters();

    SetField(MotorPower, motorPower_ ? 1 : 0, true);
    SetField(ScanStartStrobe, 1, true);
    SetField(ScanEnable, 1, true);
    SetField(MoveStart, 1, true);
    return true;
}

bool GL841::ReadImageLines(void* buffer, unsigned lines, int* linesRead) {
    // The lines of the ramp go first, into the caller's buffer and dropped.
    while (leadLinesToDrop_ > 0 && lines > 0) {
        int dropped = 0;
        const bool scanning = ReadWaitingImageLines(buffer, std::min(lines, leadLinesToDrop_), &dropped);
        if (linesRead != nullptr) {
            *linesRead = 0;
        }
        if (dropped <= 0) {
            return scanning;
        }
        leadLinesToDrop_ -= std::min(leadLinesToDrop_, static_cast<uint32_t>(dropped));
    }
    return ReadWaitingImageLines(buffer, lines, linesRead);
}

uint64_t GL841::ImageLineBytes() const {
    return (static_cast<uint64_t>(std::max(scanWidth_, 0)) * static_cast<uint64_t>(std::max(bitsPerPixel_, 0)) + 7) /
           8;
}

int GL841::KnownWaitingLines() const {
    const uint64_t bytesPerLine = ImageLineBytes();
    if (bytesPerLine == 0) {
        return 0;
    }
    const uint64_t lines = bufferedBytes_ / bytesPerLine;
    return static_cast<int>(lines > leadLinesToDrop_ ? lines - leadLinesToDrop_ : 0);
}

bool GL841::ReadWaitingImageLines(void* buffer, unsigned lines, int* linesRead) {
    if (linesRead != nullptr) {
        *linesRead = 0;
    }
    if (!PortOpen() || (buffer == nullptr && lines > 0)) {
        return false;
    }
    const uint64_t bytesPerLine = ImageLineBytes();
    if (bytesPerLine == 0 || lines == 0) {
        const bool scanning = ReadField(ScanEnable, true) == 1;
        PortLocker locker(port_);
        return locker.Lock() && scanning;
    }
    PortLocker locker(port_);
    if (!locker.Lock()) {
        return false;
    }
    const auto whole = [&] {
        uint64_t count = std::min<uint64_t>(lines, bufferedBytes_ / bytesPerLine);
        if (count < lines && count * bytesPerLine % 2 != 0) {
            --count;  // the chip hands out whole words
        }
        return count;
    };
    // Two lines or more known to wait are read without a new count.
    if (bufferedBytes_ < 2 * bytesPerLine) {
        bufferedBytes_ = 2 * ReadBufferedWords();
    }
    uint64_t count = whole();
    bool scanning = true;
    if (count == 0) {
        // Lines that wait are delivered whether the scan still runs or not,
        // so the scan-running bit only matters when none does. Counted again
        // after a stopped scan, so a line that came in between is not lost.
        scanning = ReadField(ScanEnable, true) == 1;
        if (!scanning) {
            bufferedBytes_ = 2 * ReadBufferedWords();
            count = whole();
        }
    }
    if (count > 0) {
        const uint64_t bytes = count * bytesPerLine;
        if (!ReadBulkChunked(buffer, static_cast<uint32_t>(bytes), false)) {
            return false;
        }
        bufferedBytes_ -= static_cast<uint32_t>(bytes);
        if (linesRead != nullptr) {
            *linesRead = static_cast<int>(count);
        }
        return true;
    }
    return scanning;
}

void GL841::StopScan() {
    if (!PortOpen()) {
        return;
    }
    SetField(LineCount, 1, true);
    SetField(FeedSteps, 1, true);
    for (int poll = 0; poll < kStopScanPolls; ++poll) {
        uint8_t status = 0;
        if (ReadRegister(kRegStatus, &status) && (status & kStatusIdleMask) == kStatusIdle) {
            break;
        }
        OSSleep(kStopScanPollMs);
    }
    SetField(MotorPower, 0, true);
    SetField(RunFlag, 0, true);
    SetField(ScanEnable, 0, true);
}

uint32_t GL841::ReadLinesScannedRegister() {
    // The counter runs while it is read: the high byte is read on both sides
    // of the low one, so a carry between the two reads is never seen torn.
    const uint8_t high = kGL841Fields[LinesScanned].lastRegister - 1;
    const uint8_t low = kGL841Fields[LinesScanned].lastRegister;
    PortLocker locker(port_);
    if (!locker.Lock()) {
        return ReadField(LinesScanned, false);
    }
    uint8_t before = 0;
    uint8_t lowByte = 0;
    uint8_t after = 0;
    if (!ReadRegister(high, &before) || !ReadRegister(low, &lowByte) || !ReadRegister(high, &after)) {
        return ReadField(LinesScanned, false);
    }
    if (after != before && !ReadRegister(low, &lowByte)) {
        return ReadField(LinesScanned, false);
    }
    return (static_cast<uint32_t>(after) << 8) | lowByte;
}

int GL841::GetLinesScanned() {
    if (!PortOpen()) {
        return 0;
    }
    // The chip counts in 16 bits; carry into the high part on each wrap.
    const uint32_t raw = ReadLinesScannedRegister();
    if (raw < (linesScanned_ & 0xFFFFu)) {
        linesScanned_ += 0x10000u;
    }
    linesScanned_ = (linesScanned_ & ~0xFFFFu) | raw;
    const auto lines = static_cast<int>(std::min<uint32_t>(linesScanned_, 0x7FFFFFFF));
    // Counted from the first line the page delivers.
    return std::max((colorMode_ == kColourMode ? lines / 3 : lines) - static_cast<int>(leadLines_), 0);
}
