// Tone settings with their own rules: highlight and shadow keep apart, and
// the user tone tables.
#pragma once

#include "engine/properties/Property.h"

// Raised above the shadow when the shadow reaches it.
class HighlightProp : public RangeInt {
public:
    HighlightProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

// Lowered below the highlight when the highlight reaches it.
class ShadowProp : public RangeInt {
public:
    ShadowProp();
    void RegisterDependencies() override;
    void OnDependencyChanged(uint16_t id) override;
};

// A user tone table of 256 entries for one channel (or gray); empty means the
// computed curve is used.
class GenesysLUTProp : public ArrayUnsignedShort {
public:
    explicit GenesysLUTProp(uint16_t id) : ArrayUnsignedShort(id, SI_ACCESS_READ_WRITE) {}
};
