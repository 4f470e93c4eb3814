// Interleaving of a planar colour line (three planes of equal size one after
// the other) into pixels of three bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// Which plane gives the first byte of a pixel.
enum class PlaneOrder {
    Reversed,  // planes 2, 1, 0 (channel order 0)
    InOrder,   // planes 0, 1, 2 (channel order 1)
};

// chunky pixel x = (A[x], B[x], C[x]) with A, B, C the planes in `order`.
// Writes min(pixels, plane size, chunky.size() / 3) pixels.
inline void InterleavePlanes(std::span<const uint8_t> planar, std::span<uint8_t> chunky, size_t pixels,
                             PlaneOrder order)
{
    const size_t planeSize = planar.size() / 3;
    const size_t count = std::min({pixels, planeSize, chunky.size() / 3});
    const uint8_t* p0 = planar.data();
    const uint8_t* p1 = p0 + planeSize;
    const uint8_t* p2 = p1 + planeSize;
    const uint8_t* a = order == PlaneOrder::Reversed ? p2 : p0;
    const uint8_t* c = order == PlaneOrder::Reversed ? p0 : p2;
    uint8_t* out = chunky.data();
    for (size_t x = 0; x < count; ++x) {
        out[3 * x] = a[x];
        out[3 * x + 1] = p1[x];
        out[3 * x + 2] = c[x];
    }
}
