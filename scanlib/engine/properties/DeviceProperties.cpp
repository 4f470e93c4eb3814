#include "engine/properties/DeviceProperties.h"

#include <SIPropertyIds.h>

#include <cmath>

namespace {

constexpr float kRateStep = 0.00001f;
constexpr double kRateScale = 100000.0;

}  // namespace

// ---- USB ids -------------------------------------------------------------

VendorIDProp::VendorIDProp() : SingleInt(SI_PROP_VENDOR_ID, SI_ACCESS_READ_ONLY, 0) {}

int32_t VendorIDProp::GetInt() {
    if (callback_) SingleInt::SetInt(callback_->GetVendorID());
    return SingleInt::GetInt();
}

bool VendorIDProp::Get(SIProperty* record) {
    GetInt();
    return SingleInt::Get(record);
}

ProductIDProp::ProductIDProp() : SingleInt(SI_PROP_PRODUCT_ID, SI_ACCESS_READ_ONLY, 0) {}

int32_t ProductIDProp::GetInt() {
    if (callback_) SingleInt::SetInt(callback_->GetProductID());
    return SingleInt::GetInt();
}

bool ProductIDProp::Get(SIProperty* record) {
    GetInt();
    return SingleInt::Get(record);
}

// ---- LEDs ----------------------------------------------------------------

LEDIndicator::LEDIndicator(uint16_t id, int led, int32_t defaultValue)
    : SingleBool(id, SI_ACCESS_READ_WRITE, defaultValue), led_(led) {}

bool LEDIndicator::Get(SIProperty* record) {
    if (callback_) {
        int lit = 0;
        callback_->LEDIndicator(led_, &lit, false);
        Store(lit != 0 ? 1 : 0);
    }
    return SingleBool::Get(record);
}

bool LEDIndicator::Set(const SIProperty* record) {
    int32_t value = 0;
    if (!record || !Writable() || !AcceptedValue(record, &value) || !callback_) return false;
    Store(value);
    callback_->LEDIndicator(led_, &value, true);
    return true;
}

// ---- rates ---------------------------------------------------------------

float RoundRateHalfUp(float value) {
    return static_cast<float>(std::floor(static_cast<double>(value) * kRateScale + 0.5) / kRateScale);
}

float TruncateRate(float value) {
    return static_cast<float>(std::trunc(static_cast<double>(value) * kRateScale) / kRateScale);
}

ScanRateProp::ScanRateProp() : RangeFloat(SI_PROP_SCAN_RATE, SI_ACCESS_READ_WRITE, 0.0f, 0.0f, kRateStep, 0.0f, true) {}

void ScanRateProp::Refresh() {
    if (!callback_) return;
    float minimum = 0.0f, maximum = 0.0f, recommended = 0.0f;
    callback_->GetScanRateRange(&minimum, &maximum, &recommended);
    minimum = RoundRateHalfUp(minimum);
    maximum = TruncateRate(maximum);
    recommended = TruncateRate(recommended);
    SetMinimum(minimum);
    if (maximum != Maximum() || recommended != recommended_) {
        SetMaximum(maximum);
        recommended_ = recommended;
        Property* useRecommended = FindDependency(SI_PROP_1009);
        const float def = (!useRecommended || useRecommended->GetInt() == 1) ? recommended : maximum;
        SetDefaultFloat(def);
        Store(def);
    }
    if (RangeFloat::GetFloat() < minimum) Store(minimum);
}

float ScanRateProp::GetFloat() {
    Refresh();
    return RangeFloat::GetFloat();
}

bool ScanRateProp::Get(SIProperty* record) {
    Refresh();
    return RangeFloat::Get(record);
}

bool ScanRateProp::Set(const SIProperty* record) {
    Refresh();
    return RangeFloat::Set(record);
}

void ScanRateProp::SaveRestore(bool save) {
    if (save) Refresh();
    RangeFloat::SaveRestore(save);
}

void ScanRateProp::RegisterDependencies() { ListenTo({SI_PROP_Y_RESOLUTION, SI_PROP_COLOR_MODE, SI_PROP_SCAN_WIDTH}); }

void ScanRateProp::OnDependencyChanged(uint16_t) {
    if (FindDependency(SI_PROP_Y_RESOLUTION) && FindDependency(SI_PROP_COLOR_MODE)) Refresh();
}

FeedRateProp::FeedRateProp() : RangeFloat(SI_PROP_FEED_RATE, SI_ACCESS_READ_WRITE, 0.0f, 0.0f, kRateStep, 0.0f, true) {}

void FeedRateProp::Refresh() {
    if (!callback_) return;
    float minimum = 0.0f, maximum = 0.0f;
    callback_->GetFeedRateRange(&minimum, &maximum);
    minimum = RoundRateHalfUp(minimum);
    maximum = TruncateRate(maximum);
    SetMinimum(minimum);
    if (maximum != Maximum()) {
        SetMaximum(maximum);
        SetDefaultFloat(maximum);
        Store(maximum);
    }
    if (RangeFloat::GetFloat() < minimum) Store(minimum);
}

float FeedRateProp::GetFloat() {
    Refresh();
    return RangeFloat::GetFloat();
}

bool FeedRateProp::Get(SIProperty* record) {
    Refresh();
    return RangeFloat::Get(record);
}

bool FeedRateProp::Set(const SIProperty* record) {
    Refresh();
    return RangeFloat::Set(record);
}

void FeedRateProp::SaveRestore(bool save) {
    if (save) Refresh();
    RangeFloat::SaveRestore(save);
}
