#include "engine/model/LedFamilyBase.h"

#include "chips/CISModule.h"
#include "chips/Controller.h"
#include "chips/Motor.h"

#include <SIPropertyIds.h>

#include <algorithm>

namespace {

constexpr float kLowRateLimit = 1.6f;

}  // namespace

LedFamilyBase::LedFamilyBase(const ComputedRateRule& rule, int constructionDpi)
    : rule_(rule), constructionDpi_(constructionDpi) {}

LedFamilyBase::~LedFamilyBase() {
    if (!IsOpen() || IntValue(SI_PROP_POWER_DOWN_ON_CLOSE) != 1 || !GetController()) return;
    try {
        GetController()->SetGpioValue(kLedLine0, false);
        GetController()->SetGpioValue(kLedLine1, false);
    } catch (...) {
    }
}

bool LedFamilyBase::Open(DevicePort*& port) {
    if (!Swiftmere::Open(port)) return false;
    Controller& c = *GetController();
    c.SetGpioEnable(kLedLine1, true);
    c.SetGpioValue(kLedLine1, true);
    c.SetGpioEnable(kLedLine0, true);
    c.SetGpioValue(kLedLine0, false);
    openedDpi_ = GetOpticalDpi();
    return true;
}

int LedFamilyBase::SensorPixels() {
    CISModule* m = GetCisModule();
    return m ? m->GetPixelCount() + m->GetDummyPixels() : 0;
}

bool LedFamilyBase::Sensor600() { return GetOpticalDpi() == 600; }

std::array<float, 3> LedFamilyBase::GetMaxLineRate() {
    const float best = ComputedMaxLineRate(rule_, SensorPixels(), Sensor600());
    return {best, best, best};
}

bool LedFamilyBase::IsLowRate(bool scanning) {
    return FloatValue(scanning ? SI_PROP_SCAN_RATE : SI_PROP_FEED_RATE) < kLowRateLimit;
}

void LedFamilyBase::RegisterProperties() {
    Halvern30Base::RegisterProperties();
    familyProperties_.RegisterLedFamily(*this, this, !Sensor600(), ScanLengthShape());
}

void LedFamilyBase::GetScanRateRange(float* minimum, float* maximum, float* recommended) {
    const float entry = ComputedRate(rule_, SensorPixels(), Sensor600(), IntValue(SI_PROP_X_RESOLUTION),
                                     ScanWindowIsWide(), IntValue(SI_PROP_COLOR_MODE), IsExternalPowerPresent());
    ScanRateRangeFor(entry, minimum, maximum, recommended);
}

void LedFamilyBase::GetFeedRateRange(float* minimum, float* maximum) {
    *minimum = GetController() ? GetController()->GetMinScanRate(GetOpticalDpi() * 3) : 0.0f;
    float best = ComputedMaxFeedRate(rule_, SensorPixels(), Sensor600(), IsExternalPowerPresent());
    if (GetMotor()) best = std::min(best, GetMotor()->GetMaxFeedRate());
    *maximum = best;
}

int LedFamilyBase::LEDIndicator(int led, int* value, bool set) {
    if (led != 0 && led != 1) return 1;
    const int line = led == 0 ? kLedLine0 : kLedLine1;
    if (set) {
        DriveLineLocked(line, value && *value != 0);
        return 0;
    }
    const bool lit = ReadLineLocked(line);
    if (value) *value = lit ? 1 : 0;
    return lit ? 1 : 0;
}
