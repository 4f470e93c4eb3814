#include "engine/catalogue/ResolutionProperties.h"

#include <SIPropertyIds.h>

XResolutionProp::XResolutionProp(std::span<const int32_t> items, int32_t defaultValue)
    : ListInt(SI_PROP_X_RESOLUTION, SI_ACCESS_READ_WRITE, items, defaultValue) {}

void XResolutionProp::RegisterDependencies() { ListenTo({SI_PROP_Y_RESOLUTION}); }

void XResolutionProp::OnDependencyChanged(uint16_t) {
    int32_t y = 0;
    if (DependencyInt(SI_PROP_Y_RESOLUTION, &y)) SetInt(y);
}

YResolutionProp::YResolutionProp(std::span<const int32_t> items, int32_t defaultValue)
    : ListInt(SI_PROP_Y_RESOLUTION, SI_ACCESS_READ_WRITE, items, defaultValue) {}

void YResolutionProp::RegisterDependencies() { ListenTo({SI_PROP_X_RESOLUTION}); }

void YResolutionProp::OnDependencyChanged(uint16_t) {
    int32_t x = 0;
    if (DependencyInt(SI_PROP_X_RESOLUTION, &x)) SetInt(x);
}
