#include "engine/catalogue/GeometryProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <limits>

namespace {

// a x b / c in 64 bits, narrowed to int32; false when c is 0.
bool ScaleInt(int64_t a, int64_t b, int64_t c, int64_t* out) {
    if (c == 0) return false;
    *out = a * b / c;
    return true;
}

int32_t Narrow(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Lowers the current value to the new maximum.
void SetMaximumAndLower(RangeInt& p, int64_t maximum) {
    p.SetMaximum(Narrow(maximum));
    if (p.GetInt() > p.Maximum()) p.SetInt(p.Maximum());
}

}  // namespace

// ---- offsets -------------------------------------------------------------

YOffsetProp::YOffsetProp() : RangeInt(SI_PROP_Y_OFFSET, SI_ACCESS_READ_WRITE, 0, 1399, 1, 0, true) {}

void YOffsetProp::RegisterDependencies() {
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, SI_PROP_Y_RESOLUTION, SI_PROP_OPTICAL_LENGTH, SI_PROP_1041});
}

void YOffsetProp::OnDependencyChanged(uint16_t) {
    int32_t optical = 0, y = 0, length = 0;
    if (!DependencyInt(SI_PROP_OPTICAL_RESOLUTION, &optical) || !DependencyInt(SI_PROP_Y_RESOLUTION, &y)) return;
    int64_t lines = 0;
    if (DependencyInt(SI_PROP_OPTICAL_LENGTH, &length)) {
        if (!ScaleInt(y, length, optical, &lines)) return;
    } else {
        // Without an optical length: 14 inches.
        lines = static_cast<int64_t>(y) * 14;
    }
    SetMaximumAndLower(*this, lines - 1);
}

XOffsetProp::XOffsetProp() : RangeInt(SI_PROP_X_OFFSET, SI_ACCESS_READ_WRITE, 0, 863, 1, 0, true) {}

void XOffsetProp::RegisterDependencies() {
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, SI_PROP_OPTICAL_WIDTH, SI_PROP_X_RESOLUTION});
}

void XOffsetProp::OnDependencyChanged(uint16_t) {
    int32_t optical = 0, width = 0, x = 0;
    int64_t pixels = 0;
    if (!DependencyInt(SI_PROP_OPTICAL_RESOLUTION, &optical) || !DependencyInt(SI_PROP_OPTICAL_WIDTH, &width) ||
        !DependencyInt(SI_PROP_X_RESOLUTION, &x) || !ScaleInt(width, x, optical, &pixels)) {
        return;
    }
    SetMaximumAndLower(*this, pixels - 1);
}

// ---- width and length ----------------------------------------------------

ScanWidthProp::ScanWidthProp() : RangeInt(SI_PROP_SCAN_WIDTH, SI_ACCESS_READ_WRITE, 1, 864, 1, 864, true) {}

void ScanWidthProp::RegisterDependencies() {
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, SI_PROP_OPTICAL_WIDTH, SI_PROP_X_RESOLUTION, SI_PROP_X_OFFSET});
}

void ScanWidthProp::OnDependencyChanged(uint16_t) {
    int32_t optical = 0, width = 0, x = 0, offset = 0;
    int64_t pixels = 0;
    if (!DependencyInt(SI_PROP_OPTICAL_RESOLUTION, &optical) || !DependencyInt(SI_PROP_OPTICAL_WIDTH, &width) ||
        !DependencyInt(SI_PROP_X_RESOLUTION, &x) || !DependencyInt(SI_PROP_X_OFFSET, &offset) ||
        !ScaleInt(width, x, optical, &pixels)) {
        return;
    }
    SetMaximumAndLower(*this, pixels - offset);
    SetDefaultInt(Narrow(offset + static_cast<int64_t>(Maximum())));
}

ScanLengthProp::ScanLengthProp(int32_t maximum, int32_t baseLength, int32_t current)
    : RangeInt(SI_PROP_SCAN_LENGTH, SI_ACCESS_READ_WRITE, 1, maximum, 1, baseLength, current, true),
      baseLength_(baseLength) {}

void ScanLengthProp::RegisterDependencies() {
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, SI_PROP_Y_RESOLUTION, SI_PROP_Y_OFFSET, SI_PROP_OPTICAL_LENGTH,
              SI_PROP_1041});
}

void ScanLengthProp::OnDependencyChanged(uint16_t) {
    int32_t optical = 0, y = 0, offset = 0, length = 0;
    int64_t lines = 0, def = 0;
    if (!DependencyInt(SI_PROP_OPTICAL_RESOLUTION, &optical) || !DependencyInt(SI_PROP_Y_RESOLUTION, &y) ||
        !DependencyInt(SI_PROP_Y_OFFSET, &offset) || !DependencyInt(SI_PROP_OPTICAL_LENGTH, &length) ||
        !ScaleInt(y, length, optical, &lines) || !ScaleInt(y, baseLength_, optical, &def)) {
        return;
    }
    SetMaximumAndLower(*this, lines - offset);
    SetDefaultInt(Narrow(def));
}

// ---- optical length ------------------------------------------------------

OpticalScanLengthProp::OpticalScanLengthProp()
    : SingleInt(SI_PROP_OPTICAL_LENGTH, SI_ACCESS_READ_ONLY, kDefaultLimitedLength) {}

bool OpticalScanLengthProp::SetInt(int32_t value) {
    int32_t limit = 1;
    if (!DependencyInt(SI_PROP_1041, &limit) || limit == 1) limited_ = value;
    return SingleInt::SetInt(value);
}

void OpticalScanLengthProp::RegisterDependencies() { ListenTo({SI_PROP_1041}); }

void OpticalScanLengthProp::OnDependencyChanged(uint16_t) {
    int32_t limit = 1;
    if (!DependencyInt(SI_PROP_1041, &limit)) return;
    SingleInt::SetInt(limit == 1 ? limited_ : kUnlimitedLength);
}

// ---- sensor distance -----------------------------------------------------

CISVerticalOffsetProp::CISVerticalOffsetProp() : SingleInt(SI_PROP_CIS_VERTICAL_OFFSET, SI_ACCESS_READ_ONLY, 0) {}

void CISVerticalOffsetProp::RegisterDependencies() {
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, SI_PROP_Y_RESOLUTION, SI_PROP_1001});
}

void CISVerticalOffsetProp::OnDependencyChanged(uint16_t) {
    int32_t optical = 0, y = 0, distance = 0;
    if (!DependencyInt(SI_PROP_OPTICAL_RESOLUTION, &optical) || !DependencyInt(SI_PROP_Y_RESOLUTION, &y) ||
        !DependencyInt(SI_PROP_1001, &distance) || optical == 0) {
        return;
    }
    const uint64_t lines = static_cast<uint64_t>(static_cast<uint32_t>(y)) * static_cast<uint32_t>(distance) /
                           static_cast<uint32_t>(optical);
    SingleInt::SetInt(static_cast<int32_t>(static_cast<uint32_t>(lines)));
}
