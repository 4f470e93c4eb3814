// Properties whose values come from the scanner model through the callback
// interfaces: USB ids, LEDs and the scan and feed rates. Without a callback
// each behaves as its container class.
#pragma once

#include "engine/properties/Property.h"
#include "engine/properties/PropertyCallbacks.h"

class VendorIDProp : public SingleInt {
public:
    VendorIDProp();
    void SetCallback(VendorIDCallback* callback) { callback_ = callback; }
    int32_t GetInt() override;
    bool Get(SIProperty* record) override;

private:
    VendorIDCallback* callback_ = nullptr;
};

class ProductIDProp : public SingleInt {
public:
    ProductIDProp();
    void SetCallback(ProductIDCallback* callback) { callback_ = callback; }
    int32_t GetInt() override;
    bool Get(SIProperty* record) override;

private:
    ProductIDCallback* callback_ = nullptr;
};

// LED 0 for property 40, LED 1 for property 41.
class LEDIndicator : public SingleBool {
public:
    LEDIndicator(uint16_t id, int led, int32_t defaultValue);
    void SetCallback(LEDIndicatorCallback* callback) { callback_ = callback; }
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;

private:
    int led_;
    LEDIndicatorCallback* callback_ = nullptr;
};

// Rounding of the rates the model reports: 5 decimal places.
float RoundRateHalfUp(float value);
float TruncateRate(float value);

// Property 1006: the range follows the model on every access and whenever
// the y resolution, colour mode or scan width change.
class ScanRateProp : public RangeFloat {
public:
    ScanRateProp();
    void SetCallback(ScanRateCallback* callback) { callback_ = callback; }
    float GetFloat() override;
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void SaveRestore(bool save) override;
    void OnDependencyChanged(uint16_t id) override;
    void RegisterDependencies() override;
    // Takes the model's current bounds.
    void Refresh();

private:
    ScanRateCallback* callback_ = nullptr;
    float recommended_ = 0.0f;
};

// Property 1004: the range follows the model on every access.
class FeedRateProp : public RangeFloat {
public:
    FeedRateProp();
    void SetCallback(FeedRateCallback* callback) { callback_ = callback; }
    float GetFloat() override;
    bool Get(SIProperty* record) override;
    bool Set(const SIProperty* record) override;
    void SaveRestore(bool save) override;
    void Refresh();

private:
    FeedRateCallback* callback_ = nullptr;
};
