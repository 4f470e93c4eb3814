// GL841: the sensor module's derived values, speed limits, and the scan and
// move entry points.
#include "chips/GL841.h"

#include "chips/CISModule.h"
#include "chips/Motor.h"

#include <algorithm>
#include <cmath>

namespace {

// Above this many sensor pixels the chip has no dpi class.
constexpr int kMaxClassPixels = 0x5400;
constexpr double kPeriodCounts = 15.0 * 65535.0;
constexpr double kExposureReserveNs = 30000.0;

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

// Scan setup, line timing, motor tables and the image read-out are not part
// of this driver yet: a scan does not start and a move does nothing.
bool GL841::SetupScan() { return false; }

bool GL841::ReadImageLines(void* /*buffer*/, unsigned /*lines*/, int* linesRead) {
    if (linesRead != nullptr) {
        *linesRead = 0;
    }
    return false;
}

void GL841::StopScan() {}

void GL841::StartMove() {}

void GL841::StopMove() {}
