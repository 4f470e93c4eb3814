#include "engine/model/Halvern33Base.h"

#include "chips/CISModule.h"

#include <SIPropertyIds.h>

#include <algorithm>

float Halvern33Base::PaperEndDistanceAt(float rate) {
    const float base = UsesGL125() ? 0.80f : 0.73f;
    if (rate <= 0.106f) return base;
    return std::max(base - (rate - 0.1f) * 0.25f, 0.0f);
}

int Halvern33Base::GetExtraLength() { return GetOpticalDpi() == 600 ? 324 : 162; }

int Halvern33Base::GetOpticalScanLength() { return GetOpticalDpi() * 14 + GetExtraLength(); }

std::unique_ptr<CISModule> Halvern33Base::CreateCisModule() {
    if (ConstructionDpi() == 600) return std::make_unique<CM215_04>();
    return std::make_unique<CM215_04_300>();
}

const catalogue::ScanLengthShape& Halvern33Base::ScanLengthShape() {
    return GetOpticalDpi() == 600 ? catalogue::kCommonScanLength : catalogue::kHalvern33ScanLength300;
}
