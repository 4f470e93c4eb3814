// Reading and writing the value slots of an SIProperty record. An int32, bool
// or float takes the low 32 bits of a slot, a pointer the whole slot; which
// slot holds the current value depends on the record's container.
#pragma once

#include <SIInterface.h>

#include <bit>
#include <cstdint>

constexpr uintptr_t SlotFromInt(int32_t v) { return static_cast<uintptr_t>(static_cast<uint32_t>(v)); }
constexpr int32_t IntFromSlot(uintptr_t slot) { return static_cast<int32_t>(static_cast<uint32_t>(slot)); }
constexpr uintptr_t SlotFromFloat(float v) { return static_cast<uintptr_t>(std::bit_cast<uint32_t>(v)); }
constexpr float FloatFromSlot(uintptr_t slot) { return std::bit_cast<float>(static_cast<uint32_t>(slot)); }

inline uintptr_t SlotFromPointer(const void* p) { return reinterpret_cast<uintptr_t>(p); }
template <typename T>
inline T* PointerFromSlot(uintptr_t slot) { return reinterpret_cast<T*>(slot); }

static_assert(sizeof(uintptr_t) == sizeof(void*), "a slot holds a pointer");

// Slots by container: single {current, current again (bool: default)};
// range {minimum, maximum, step, default, current};
// list {count, current, default, items}; array {count, items}.
namespace si_record {

inline constexpr int kRangeMinimum = 0;
inline constexpr int kRangeMaximum = 1;
inline constexpr int kRangeStep = 2;
inline constexpr int kRangeDefault = 3;
inline constexpr int kListCount = 0;
inline constexpr int kListDefault = 2;
inline constexpr int kListItems = 3;

// The slot that holds the current value.
constexpr int CurrentSlot(const SIProperty& p) {
    switch (p.container) {
        case SI_CONTAINER_RANGE: return 4;
        case SI_CONTAINER_LIST: return 1;
        default: return 0;
    }
}

constexpr int32_t CurrentInt(const SIProperty& p) { return IntFromSlot(p.value[CurrentSlot(p)]); }
constexpr float CurrentFloat(const SIProperty& p) { return FloatFromSlot(p.value[CurrentSlot(p)]); }

// Replaces the current value; a single int carries it in both of its slots.
inline void SetCurrent(SIProperty& p, uintptr_t slot) {
    p.value[CurrentSlot(p)] = slot;
    if (p.container == SI_CONTAINER_SINGLE && p.itemType == SI_TYPE_INT32) p.value[1] = slot;
}
inline void SetCurrentInt(SIProperty& p, int32_t v) { SetCurrent(p, SlotFromInt(v)); }
inline void SetCurrentFloat(SIProperty& p, float v) { SetCurrent(p, SlotFromFloat(v)); }

// A fresh record asking for property `id`.
constexpr SIProperty Request(SIPropertyId id) {
    SIProperty p{};
    p.id = id;
    return p;
}

}  // namespace si_record
