// Capability containers: the values a capability answers with, built into
// global memory for the application, and the containers an application sets,
// read with every field checked against the block that holds them.
#pragma once

#include <twain.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// FIX32: value x 65536 rounded half away from zero, Whole the arithmetic
// shift by 16, Frac the low 16 bits.
TW_FIX32 ToFix32(double value);
double FromFix32(TW_FIX32 fix);
TW_UINT32 Fix32Bits(double value);

// Bytes an item of `type` takes in a list; 0 for types that carry no number.
size_t ItemSize(TW_UINT16 type);

// What a capability answers: its item type, the container of MSG_GET, the
// current and default values, and the list or range around them. Values are
// item bits as a TW_ONEVALUE carries them.
struct CapabilityValue {
    TW_UINT16 getContainer = TWON_ONEVALUE;  // ONEVALUE, ENUMERATION, RANGE or ARRAY
    TW_UINT16 type = TWTY_UINT16;
    TW_UINT32 current = 0;
    TW_UINT32 defaultValue = 0;
    std::vector<TW_UINT32> items;  // ENUMERATION and ARRAY
    TW_UINT32 min = 0, max = 0, step = 0;  // RANGE
};

// Allocates the answer to `msg` into cap->hContainer and sets cap->ConType:
// the MSG_GET container for MSG_GET, else a TW_ONEVALUE (an ARRAY stays an
// ARRAY). False when the memory cannot be had.
bool BuildContainer(TW_CAPABILITY& cap, const CapabilityValue& value, TW_UINT16 msg);
// A TW_ONEVALUE of `bits` as `type`.
bool BuildOneValue(TW_CAPABILITY& cap, TW_UINT16 type, TW_UINT32 bits);

// A container an application hands to MSG_SET, its numbers decoded (INT16
// and INT8 sign-extended, FIX32 as a fraction).
struct SetContainer {
    TW_UINT16 conType = 0;
    TW_UINT16 itemType = 0;
    std::vector<double> items;  // ENUMERATION
    size_t currentIndex = 0;
    double min = 0, max = 0, step = 0;  // RANGE
    double value = 0;  // the ONEVALUE item, the current item, or CurrentValue
};

// Reads cap's container: nullopt when there is none, when its type is not
// ONEVALUE, ENUMERATION or RANGE, its item type carries no number, or the
// counts and index do not fit the block.
std::optional<SetContainer> ReadSetContainer(const TW_CAPABILITY& cap);

// Container kinds a capability accepts for MSG_SET.
inline constexpr unsigned kAcceptOne = 1;
inline constexpr unsigned kAcceptEnumeration = 2;
inline constexpr unsigned kAcceptRange = 4;
