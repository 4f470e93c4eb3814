// Interleaving of a planar colour line (three planes of equal size one after
// the other) into pixels of three bytes.
#pragma once

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
void InterleavePlanes(std::span<const uint8_t> planar, std::span<uint8_t> chunky, size_t pixels,
                      PlaneOrder order);
