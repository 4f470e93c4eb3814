#include "engine/stages/DuplexProperties.h"

#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cstdint>

namespace {

RangeInt* AsRange(Property* property) { return dynamic_cast<RangeInt*>(property); }

void CopyRange(RangeInt& to, RangeInt& from)
{
    to.SetMinimum(from.Minimum());
    to.SetMaximum(from.Maximum());
    to.SetStep(from.Step());
    to.SetDefaultInt(from.GetDefaultInt());
}

// Wide mode: the side is the whole wide line, so the property follows the
// scanner's range and writes its value through.
void FollowScanner(RangeInt& own, RangeInt* scanner, uint16_t changed)
{
    if (!scanner) {
        return;
    }
    if (changed != own.Id()) {
        CopyRange(own, *scanner);
        own.LimitToRange();
    }
    scanner->SetInt(own.GetInt());
}

}  // namespace

// ---- 21 and 1003 -----------------------------------------------------------

void DuplexSwitchProp::OnDependencyChanged(uint16_t id)
{
    if (id == partner_ && GetInt() == 1 && IntOr(FindDependency(partner_), 0) == 1) {
        Store(0);
    }
}

void DuplexSwitchProp::RegisterDependencies() { ListenTo({partner_}); }

DuplexEnabledProp::DuplexEnabledProp() : DuplexSwitchProp(SI_PROP_DUPLEX, SI_PROP_DUPLEX_WIDE_MODE) {}

DuplexWideModeProp::DuplexWideModeProp() : DuplexSwitchProp(SI_PROP_DUPLEX_WIDE_MODE, SI_PROP_DUPLEX) {}

// ---- 3 -----------------------------------------------------------------------

DuplexOptWidthInPixelsProp::DuplexOptWidthInPixelsProp() : SingleInt(SI_PROP_OPTICAL_WIDTH, SI_ACCESS_READ_ONLY, 5184)
{
}

void DuplexOptWidthInPixelsProp::OnDependencyChanged(uint16_t)
{
    Property* scanner = FindUpstreamDependency(SI_PROP_OPTICAL_WIDTH);
    if (!scanner) {
        return;
    }
    const bool wide = IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1;
    const int32_t width = wide ? scanner->GetInt() : scanner->GetInt() / 2;
    if (width != GetInt()) {
        SetInt(width);
    } else {
        NotifyListeners();
    }
}

void DuplexOptWidthInPixelsProp::RegisterDependencies() { ListenTo({SI_PROP_DUPLEX_WIDE_MODE}); }

// ---- 24 ----------------------------------------------------------------------

DuplexOptLengthInPixelsProp::DuplexOptLengthInPixelsProp()
    : SingleInt(SI_PROP_OPTICAL_LENGTH, SI_ACCESS_READ_ONLY, 5184)
{
}

void DuplexOptLengthInPixelsProp::OnDependencyChanged(uint16_t)
{
    Property* scanner = FindUpstreamDependency(SI_PROP_OPTICAL_LENGTH);
    if (!scanner) {
        return;
    }
    const bool wide = IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1;
    SetInt(wide ? scanner->GetInt() : scanner->GetInt() - IntOr(FindDependency(SI_PROP_1001), 0));
}

void DuplexOptLengthInPixelsProp::RegisterDependencies()
{
    ListenTo({SI_PROP_DUPLEX_WIDE_MODE});
    if (Property* scanner = FindUpstreamDependency(SI_PROP_OPTICAL_LENGTH)) {
        scanner->AddListener(this);
    }
}

// ---- 19 ----------------------------------------------------------------------

DuplexWidthInBytesProp::DuplexWidthInBytesProp() : SingleInt(SI_PROP_WIDTH_IN_BYTES, SI_ACCESS_READ_ONLY, 20736) {}

void DuplexWidthInBytesProp::OnDependencyChanged(uint16_t)
{
    if (IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1) {
        if (Property* scanner = FindUpstreamDependency(SI_PROP_WIDTH_IN_BYTES)) {
            SetInt(scanner->GetInt());
        }
        return;
    }
    Property* width = FindDependency(SI_PROP_SCAN_WIDTH);
    Property* depth = FindDependency(SI_PROP_BITS_PER_PIXEL);
    if (!width || !depth) {
        return;
    }
    SetInt(BytesPerLine(width->GetInt(), depth->GetInt()));
}

void DuplexWidthInBytesProp::RegisterDependencies()
{
    ListenTo({SI_PROP_DUPLEX_WIDE_MODE, SI_PROP_SCAN_WIDTH, SI_PROP_BITS_PER_PIXEL});
    if (Property* scanner = FindUpstreamDependency(SI_PROP_WIDTH_IN_BYTES)) {
        scanner->AddListener(this);
    }
}

// ---- 13 and 12 ---------------------------------------------------------------

DuplexOffsetProp::DuplexOffsetProp(uint16_t id, int32_t maximum, uint16_t extentId, uint16_t resolutionId)
    : RangeInt(id, SI_ACCESS_READ_WRITE, 0, maximum, 1, 0, true), extentId_(extentId), resolutionId_(resolutionId)
{
}

void DuplexOffsetProp::OnDependencyChanged(uint16_t id)
{
    RangeInt* scanner = AsRange(FindUpstreamDependency(Id()));
    if (id == Id()) {
        if (scanner) {
            scanner->SetInt(GetInt());
        }
        return;
    }
    if (IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1) {
        FollowScanner(*this, scanner, id);
        return;
    }
    Property* extent = FindDependency(extentId_);
    Property* resolution = FindDependency(resolutionId_);
    Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
    if (!extent || !resolution || !optical) {
        return;
    }
    SetMinimum(0);
    SetDefaultInt(0);
    SetMaximum(ScaleBy(extent->GetInt(), resolution->GetInt(), optical->GetInt()) - 1);
    LimitToRange();  // a change reaches the scanner through the own notification
}

void DuplexOffsetProp::RegisterDependencies()
{
    ListenTo({SI_PROP_DUPLEX_WIDE_MODE, Id(), extentId_, resolutionId_});
}

DuplexXOffsetProp::DuplexXOffsetProp()
    : DuplexOffsetProp(SI_PROP_X_OFFSET, 863, SI_PROP_OPTICAL_WIDTH, SI_PROP_X_RESOLUTION)
{
}

DuplexYOffsetProp::DuplexYOffsetProp()
    : DuplexOffsetProp(SI_PROP_Y_OFFSET, 1399, SI_PROP_OPTICAL_LENGTH, SI_PROP_Y_RESOLUTION)
{
}

// ---- 14 ----------------------------------------------------------------------

DuplexWidthProp::DuplexWidthProp() : RangeInt(SI_PROP_SCAN_WIDTH, SI_ACCESS_READ_WRITE, 1, 864, 1, 864, true) {}

void DuplexWidthProp::OnDependencyChanged(uint16_t id)
{
    RangeInt* scanner = AsRange(FindUpstreamDependency(SI_PROP_SCAN_WIDTH));
    if (IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1) {
        FollowScanner(*this, scanner, id);
        return;
    }
    Property* opticalWidth = FindDependency(SI_PROP_OPTICAL_WIDTH);
    Property* resolution = FindDependency(SI_PROP_X_RESOLUTION);
    Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
    Property* offset = FindDependency(SI_PROP_X_OFFSET);
    if (!opticalWidth || !resolution || !optical || !offset) {
        return;
    }
    const int32_t full = ScaleBy(opticalWidth->GetInt(), resolution->GetInt(), optical->GetInt());
    const int32_t maximum = full - offset->GetInt();
    SetDefaultInt(full);
    SetMaximum(maximum);
    // Kept within the side, so that the side's bytes per line match what it delivers.
    LimitToRange();
    if (!scanner) {
        return;
    }
    if (IntOr(FindDependency(SI_PROP_DUPLEX), 0) == 1) {
        // The front area and the mirrored back area in one wide line.
        scanner->SetInt(offset->GetInt() + GetInt() + maximum);
    } else {
        scanner->SetInt(std::min(maximum, GetInt()));
    }
}

void DuplexWidthProp::RegisterDependencies()
{
    ListenTo({SI_PROP_DUPLEX_WIDE_MODE, SI_PROP_DUPLEX, SI_PROP_SCAN_WIDTH, SI_PROP_OPTICAL_WIDTH,
              SI_PROP_X_RESOLUTION, SI_PROP_OPTICAL_RESOLUTION, SI_PROP_X_OFFSET});
}

// ---- 15 ----------------------------------------------------------------------

DuplexLengthProp::DuplexLengthProp()
    : RangeInt(SI_PROP_SCAN_LENGTH, SI_ACCESS_READ_WRITE, 1, 8400, 1, 6600, 1100, true)
{
}

void DuplexLengthProp::OnDependencyChanged(uint16_t id)
{
    RangeInt* scanner = AsRange(FindUpstreamDependency(SI_PROP_SCAN_LENGTH));
    if (IntOr(FindDependency(SI_PROP_DUPLEX_WIDE_MODE), 0) == 1) {
        FollowScanner(*this, scanner, id);
        return;
    }
    if (id != SI_PROP_SCAN_LENGTH && id != SI_PROP_DUPLEX) {
        Property* opticalLength = FindDependency(SI_PROP_OPTICAL_LENGTH);
        Property* resolution = FindDependency(SI_PROP_Y_RESOLUTION);
        Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
        Property* offset = FindDependency(SI_PROP_Y_OFFSET);
        if (!scanner || !opticalLength || !resolution || !optical || !offset) {
            return;
        }
        SetDefaultInt(scanner->GetDefaultInt());
        SetMinimum(1);
        SetMaximum(ScaleBy(opticalLength->GetInt(), resolution->GetInt(), optical->GetInt()) - offset->GetInt());
        LimitToRange();
    }
    if (!scanner) {
        return;
    }
    // Written through on every change, so the scanner's length follows the
    // lag when the resolution changes as well.
    const int32_t lag = IntOr(FindDependency(SI_PROP_DUPLEX), 0) == 1
                            ? IntOr(FindDependency(SI_PROP_CIS_VERTICAL_OFFSET), 0)
                            : 0;
    scanner->SetInt(GetInt() + lag);
}

void DuplexLengthProp::RegisterDependencies()
{
    ListenTo({SI_PROP_DUPLEX_WIDE_MODE, SI_PROP_DUPLEX, SI_PROP_SCAN_LENGTH, SI_PROP_OPTICAL_LENGTH,
              SI_PROP_Y_RESOLUTION, SI_PROP_OPTICAL_RESOLUTION, SI_PROP_Y_OFFSET});
}
