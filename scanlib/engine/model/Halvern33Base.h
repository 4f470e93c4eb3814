// The family of the 300- and 600-dpi sensors with 82 dummy pixels.
#pragma once

#include "engine/model/LedFamilyBase.h"

class Halvern33Base : public LedFamilyBase {
public:
    explicit Halvern33Base(int opticalDpi) : LedFamilyBase(kHalvern33Rule, opticalDpi) {}

    int GetExtraLength() override;
    int GetOpticalScanLength() override;

protected:
    float PaperEndDistanceAt(float scanRate) override;
    std::unique_ptr<CISModule> CreateCisModule() override;
    const catalogue::ScanLengthShape& ScanLengthShape() override;
};
