#include "engine/model/Halvern71Base.h"

#include "chips/CISModule.h"

#include <SIPropertyIds.h>

#include <algorithm>

float Halvern71Base::PaperEndDistanceAt(float rate) {
    if (rate <= 0.213f) return 0.59f;
    return std::max(0.59f - (rate - 0.213f) * 0.1f, 0.0f);
}

int Halvern71Base::GetExtraLength() { return GetOpticalDpi() == 600 ? 292 : 146; }

int Halvern71Base::GetOpticalScanLength() { return GetOpticalDpi() * 10 + GetExtraLength(); }

std::unique_ptr<CISModule> Halvern71Base::CreateCisModule() {
    if (ConstructionDpi() == 600) return std::make_unique<CM612>();
    return std::make_unique<CM612_300>();
}

const catalogue::ScanLengthShape& Halvern71Base::ScanLengthShape() {
    return GetOpticalDpi() == 600 ? catalogue::kHalvern71ScanLength600 : catalogue::kHalvern71ScanLength300;
}
