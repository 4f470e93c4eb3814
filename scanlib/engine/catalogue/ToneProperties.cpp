#include "engine/catalogue/ToneProperties.h"

#include <SIPropertyIds.h>

HighlightProp::HighlightProp() : RangeInt(SI_PROP_HIGHLIGHT, SI_ACCESS_READ_WRITE, 1, 255, 1, 255, true) {}

void HighlightProp::RegisterDependencies() { ListenTo({SI_PROP_SHADOW}); }

void HighlightProp::OnDependencyChanged(uint16_t) {
    int32_t shadow = 0;
    if (DependencyInt(SI_PROP_SHADOW, &shadow) && GetInt() <= shadow) SetInt(shadow + 1);
}

ShadowProp::ShadowProp() : RangeInt(SI_PROP_SHADOW, SI_ACCESS_READ_WRITE, 0, 254, 1, 0, true) {}

void ShadowProp::RegisterDependencies() { ListenTo({SI_PROP_HIGHLIGHT}); }

void ShadowProp::OnDependencyChanged(uint16_t) {
    int32_t highlight = 0;
    if (DependencyInt(SI_PROP_HIGHLIGHT, &highlight) && GetInt() >= highlight) SetInt(highlight - 1);
}
