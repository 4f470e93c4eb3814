// Small helpers for stages that read settings through the chain.
#pragma once

#include "engine/properties/Property.h"

#include <cstdint>

// The property's int value, or `fallback` when the property does not exist.
inline int32_t IntOr(Property* property, int32_t fallback)
{
    return property ? property->GetInt() : fallback;
}

// A count taken from a property: negative values count as 0.
inline uint32_t CountOr(Property* property, uint32_t fallback)
{
    if (!property) {
        return fallback;
    }
    const int32_t value = property->GetInt();
    return value > 0 ? static_cast<uint32_t>(value) : 0u;
}

// a x b / c in 64 bits; 0 when c is not positive.
inline int32_t ScaleBy(int64_t a, int64_t b, int64_t c)
{
    return c > 0 ? static_cast<int32_t>(a * b / c) : 0;
}

// a x b / c rounded up, in 64 bits; 0 when c is not positive.
inline int32_t ScaleUp(int64_t a, int64_t b, int64_t c)
{
    return c > 0 ? static_cast<int32_t>((c + a * b - 1) / c) : 0;
}

// Bytes of a line of `pixels` pixels at `bitsPerPixel`, rounded up to whole bytes.
inline int32_t BytesPerLine(int32_t pixels, int32_t bitsPerPixel)
{
    const uint32_t bits = static_cast<uint32_t>(pixels) * static_cast<uint32_t>(bitsPerPixel);
    return static_cast<int32_t>((bits + 7) / 8);
}
