// Property 22: spooling on or off. Turning it on is refused while the volume
// that the temporary spool file would use lacks room for the page.
#pragma once

#include "engine/properties/Property.h"

#include <cstdint>

class SpoolerEnableProperty : public SingleBool {
public:
    SpoolerEnableProperty();

    bool Set(const SIProperty* record) override;

    // Room a page of pageBytes needs: the page and a fifth of it more, the
    // margin at most 10 MiB.
    static constexpr uint64_t RequiredBytes(uint64_t pageBytes) {
        constexpr uint64_t kMaxMargin = 0xA00000;
        const uint64_t margin = pageBytes / 5 < kMaxMargin ? pageBytes / 5 : kMaxMargin;
        return pageBytes + margin;
    }
};
