// The family of the CM612 sensors with their long line margin.
#pragma once

#include "engine/model/LedFamilyBase.h"

class Halvern71Base : public LedFamilyBase {
public:
    explicit Halvern71Base(int constructionDpi) : LedFamilyBase(kHalvern71Rule, constructionDpi) {}

    int GetExtraLength() override;
    int GetOpticalScanLength() override;

protected:
    float PaperEndDistanceAt(float scanRate) override;
    std::unique_ptr<CISModule> CreateCisModule() override;
    const catalogue::ScanLengthShape& ScanLengthShape() override;
};
