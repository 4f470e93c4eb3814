#include "engine/stages/ScaleProperties.h"

#include "engine/stages/StageProperties.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cstdint>

// ---- 4 and 5 -----------------------------------------------------------------

ScaleResolutionProp::ScaleResolutionProp(uint16_t id, uint16_t partner)
    : ListInt(id, SI_ACCESS_READ_WRITE, {}, 100), partner_(partner)
{
}

void ScaleResolutionProp::OnDependencyChanged(uint16_t id)
{
    if (id == partner_) {
        if (Property* partner = FindDependency(partner_)) {
            SetInt(partner->GetInt());
        }
        return;
    }
    auto* below = dynamic_cast<ListInt*>(FindUpstreamDependency(Id()));
    if (!below || below->Items().empty()) {
        return;
    }
    const int32_t largest = *std::max_element(below->Items().begin(), below->Items().end());
    below->SetInt(std::min(GetInt(), largest));
}

void ScaleResolutionProp::RegisterDependencies() { ListenTo({partner_, Id()}); }

ScaleXResolutionProp::ScaleXResolutionProp() : ScaleResolutionProp(SI_PROP_X_RESOLUTION, SI_PROP_Y_RESOLUTION) {}

ScaleYResolutionProp::ScaleYResolutionProp() : ScaleResolutionProp(SI_PROP_Y_RESOLUTION, SI_PROP_X_RESOLUTION) {}

// ---- 13 and 12 ---------------------------------------------------------------

ScaleOffsetProp::ScaleOffsetProp(uint16_t id, int32_t maximum, uint16_t extentId, uint16_t resolutionId)
    : RangeInt(id, SI_ACCESS_READ_WRITE, 0, maximum, 1, 0, true), extentId_(extentId), resolutionId_(resolutionId)
{
}

void ScaleOffsetProp::OnDependencyChanged(uint16_t id)
{
    Property* resolution = FindDependency(resolutionId_);
    if (id != Id()) {
        Property* extent = FindDependency(extentId_);
        Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
        if (extent && resolution && optical) {
            SetMinimum(0);
            SetDefaultInt(0);
            SetMaximum(ScaleBy(extent->GetInt(), resolution->GetInt(), optical->GetInt()) - 1);
            LimitToRange();
        }
    }
    if (id == Id() || id == resolutionId_) {
        Property* below = FindUpstreamDependency(Id());
        Property* belowResolution = FindUpstreamDependency(resolutionId_);
        if (below && belowResolution && resolution) {
            below->SetInt(ScaleBy(belowResolution->GetInt(), GetInt(), resolution->GetInt()));
        }
    }
}

void ScaleOffsetProp::RegisterDependencies()
{
    ListenTo({SI_PROP_OPTICAL_RESOLUTION, extentId_, resolutionId_, Id()});
}

ScaleXOffsetProp::ScaleXOffsetProp()
    : ScaleOffsetProp(SI_PROP_X_OFFSET, 863, SI_PROP_OPTICAL_WIDTH, SI_PROP_X_RESOLUTION)
{
}

ScaleYOffsetProp::ScaleYOffsetProp()
    : ScaleOffsetProp(SI_PROP_Y_OFFSET, 1399, SI_PROP_OPTICAL_LENGTH, SI_PROP_Y_RESOLUTION)
{
}

// ---- 14 ----------------------------------------------------------------------

ScaleWidthProp::ScaleWidthProp() : RangeInt(SI_PROP_SCAN_WIDTH, SI_ACCESS_READ_WRITE, 1, 864, 1, 864, true) {}

void ScaleWidthProp::OnDependencyChanged(uint16_t id)
{
    Property* resolution = FindDependency(SI_PROP_X_RESOLUTION);
    Property* opticalWidth = FindDependency(SI_PROP_OPTICAL_WIDTH);
    Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
    Property* offset = FindDependency(SI_PROP_X_OFFSET);
    if (resolution && opticalWidth && optical && offset) {
        const int32_t full = ScaleBy(opticalWidth->GetInt(), resolution->GetInt(), optical->GetInt());
        SetDefaultInt(full);
        SetMaximum(full - offset->GetInt());
        LimitToRange();
    }
    if (id == SI_PROP_SCAN_WIDTH || id == SI_PROP_X_RESOLUTION) {
        Property* below = FindUpstreamDependency(SI_PROP_SCAN_WIDTH);
        Property* belowResolution = FindUpstreamDependency(SI_PROP_X_RESOLUTION);
        if (below && belowResolution && resolution) {
            below->SetInt(ScaleUp(belowResolution->GetInt(), GetInt(), resolution->GetInt()));
        }
    }
}

void ScaleWidthProp::RegisterDependencies()
{
    ListenTo({SI_PROP_SCAN_WIDTH, SI_PROP_OPTICAL_WIDTH, SI_PROP_X_RESOLUTION, SI_PROP_OPTICAL_RESOLUTION,
              SI_PROP_X_OFFSET});
}

// ---- 15 ----------------------------------------------------------------------

ScaleLengthProp::ScaleLengthProp() : RangeInt(SI_PROP_SCAN_LENGTH, SI_ACCESS_READ_WRITE, 1, 8400, 1, 6600, 1100, true)
{
}

void ScaleLengthProp::OnDependencyChanged(uint16_t id)
{
    Property* resolution = FindDependency(SI_PROP_Y_RESOLUTION);
    auto* below = dynamic_cast<RangeInt*>(FindUpstreamDependency(SI_PROP_SCAN_LENGTH));
    Property* belowResolution = FindUpstreamDependency(SI_PROP_Y_RESOLUTION);
    Property* opticalLength = FindDependency(SI_PROP_OPTICAL_LENGTH);
    Property* optical = FindDependency(SI_PROP_OPTICAL_RESOLUTION);
    Property* offset = FindDependency(SI_PROP_Y_OFFSET);
    if (resolution && below && belowResolution && opticalLength && optical && offset) {
        SetMinimum(1);
        SetDefaultInt(ScaleBy(resolution->GetInt(), below->GetDefaultInt(), belowResolution->GetInt()));
        SetMaximum(ScaleBy(opticalLength->GetInt(), resolution->GetInt(), optical->GetInt()) - offset->GetInt());
        LimitToRange();
    }
    if ((id == SI_PROP_SCAN_LENGTH || id == SI_PROP_Y_RESOLUTION) && below && belowResolution && resolution) {
        below->SetInt(ScaleUp(belowResolution->GetInt(), GetInt(), resolution->GetInt()));
    }
}

void ScaleLengthProp::RegisterDependencies()
{
    ListenTo({SI_PROP_SCAN_LENGTH, SI_PROP_OPTICAL_LENGTH, SI_PROP_Y_RESOLUTION, SI_PROP_OPTICAL_RESOLUTION,
              SI_PROP_Y_OFFSET});
}

// ---- 9010 --------------------------------------------------------------------

ScaleEopDetectedLength::ScaleEopDetectedLength() : SingleInt(SI_PROP_EOP_LENGTH, SI_ACCESS_READ_WRITE, 0) {}

void ScaleEopDetectedLength::OnDependencyChanged(uint16_t)
{
    Property* below = FindUpstreamDependency(SI_PROP_EOP_LENGTH);
    Property* resolution = FindDependency(SI_PROP_Y_RESOLUTION);
    Property* belowResolution = FindUpstreamDependency(SI_PROP_Y_RESOLUTION);
    if (below && resolution && belowResolution) {
        SetInt(ScaleBy(resolution->GetInt(), below->GetInt(), belowResolution->GetInt()));
    }
}

void ScaleEopDetectedLength::RegisterDependencies()
{
    if (Property* below = FindUpstreamDependency(SI_PROP_EOP_LENGTH)) {
        below->AddListener(this);
    }
}
