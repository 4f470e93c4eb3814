// One register of the analog front end's image, as the controller sends it.
#pragma once

#include <cstdint>

struct AfeRegisterEntry {
    uint16_t address;
    uint16_t value;
};
static_assert(sizeof(AfeRegisterEntry) == 4);
