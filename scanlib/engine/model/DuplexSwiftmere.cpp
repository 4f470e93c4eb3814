#include "engine/model/DuplexSwiftmere.h"

#include "chips/CISModule.h"

#include <SIPropertyIds.h>

namespace {

constexpr int kBackLagLines600 = 268;
constexpr int kAdjustMarginLines = 20;

}  // namespace

int DuplexSwiftmere::GetExtraLength() { return GetOpticalDpi() * kBackLagLines600 / 600; }

int DuplexSwiftmere::GetOpticalScanLength() { return GetOpticalDpi() * 14 + GetExtraLength(); }

void DuplexSwiftmere::AdjustPageLength(uint32_t* lines) {
    if (!lines || !ScanWindowIsWide()) return;
    *lines += static_cast<uint32_t>(IntValue(SI_PROP_CIS_VERTICAL_OFFSET) + kAdjustMarginLines);
}

void DuplexSwiftmere::RegisterProperties() {
    Swiftmere::RegisterProperties();
    duplexProperties_.Register(*this, GetCisModule() ? GetCisModule()->GetPixelCount() : 0);
}
