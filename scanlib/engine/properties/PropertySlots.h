// Packing of values into the pointer-sized slots of an SIProperty record: an
// int32, bool or float takes the low 32 bits, a pointer the whole slot.
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
