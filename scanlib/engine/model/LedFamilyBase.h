// What the two families with indicator LEDs share: scan and feed rates
// computed from the sensor instead of looked up, the LEDs on lines 15 and 18,
// their own resolution lists and scan length, and an Open that lights them.
// Registration, data folder and rate bounds are the table family's.
#pragma once

#include "engine/model/Halvern30Base.h"
#include "engine/model/HalvernRates.h"

class LedFamilyBase : public Halvern30Base, public LEDIndicatorCallback {
public:
    static constexpr int kLedLine0 = 15;
    static constexpr int kLedLine1 = 18;

    LedFamilyBase(const ComputedRateRule& rule, int constructionDpi);
    ~LedFamilyBase() override;

    bool Open(DevicePort*& port) override;
    std::array<float, 3> GetMaxLineRate() override;
    bool IsLowRate(bool scanning) override;
    void RegisterProperties() override;
    void GetScanRateRange(float* minimum, float* maximum, float* recommended) override;
    void GetFeedRateRange(float* minimum, float* maximum) override;
    int LEDIndicator(int led, int* value, bool set) override;

    int ConstructionDpi() const { return constructionDpi_; }
    int OpenedDpi() const { return openedDpi_; }

protected:
    // The scan length of the family at the sensor's resolution.
    virtual const catalogue::ScanLengthShape& ScanLengthShape() = 0;
    int SensorPixels();
    bool Sensor600();

private:
    ComputedRateRule rule_;
    int constructionDpi_;
    int openedDpi_ = 0;
};
