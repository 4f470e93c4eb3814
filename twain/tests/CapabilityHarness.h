// Capability containers as an application makes and reads them: built in
// global memory, sent through DS_Entry, answers copied out and freed.
#pragma once

#include "SourceHarness.h"

#include <twain.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace twain_test {

// FIX32 bits of `value` as a TW_ONEVALUE carries them: Whole in the low
// half, Frac in the high half.
TW_UINT32 Fx(double value);

// A container to set. Items are item bits; the overrides write a count or
// index that does not fit the items.
struct Container {
    TW_UINT16 conType = TWON_ONEVALUE;
    TW_UINT16 type = TWTY_UINT16;
    std::vector<TW_UINT32> items;  // ONEVALUE: one; ENUMERATION, ARRAY: all
    TW_UINT32 currentIndex = 0;
    TW_UINT32 min = 0, max = 0, step = 0, current = 0;  // RANGE
    std::optional<TW_UINT32> numItemsOverride;
    std::optional<TW_UINT32> currentIndexOverride;
};

Container One(TW_UINT16 type, TW_UINT32 bits);
Container Enumeration(TW_UINT16 type, std::vector<TW_UINT32> items, TW_UINT32 currentIndex);
Container Range(TW_UINT16 type, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 current);

// The global block of a container, as an application builds it.
HGLOBAL MakeContainer(const Container& container);

struct CapAnswer {
    TW_UINT16 rc = TWRC_FAILURE;
    TW_UINT16 condition = TWCC_SUCCESS;  // read when rc is TWRC_FAILURE
    TW_UINT16 conType = 0;
    std::vector<uint8_t> bytes;  // the whole container block
};

// Sends `msg` for `cap` (with `container` for MSG_SET), copies the answer
// out and frees every block it made or got.
CapAnswer Negotiate(DirectSource& ds, TW_UINT16 msg, TW_UINT16 cap, const std::optional<Container>& container = {});

// The item of a TW_ONEVALUE answer (its four bytes), nullopt otherwise.
std::optional<TW_UINT32> OneValueItem(const CapAnswer& answer);
// The items of an ENUMERATION or ARRAY answer as 16- or 32-bit values.
std::vector<TW_UINT32> ListItems(const CapAnswer& answer);
// The current item bits of `cap` (MSG_GETCURRENT).
std::optional<TW_UINT32> Current(DirectSource& ds, TW_UINT16 cap);

}  // namespace twain_test
