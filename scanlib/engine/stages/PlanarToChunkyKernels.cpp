#include "engine/stages/PlanarToChunkyKernels.h"

#include <algorithm>
#include <array>
#include <cstring>

void InterleavePlanes(std::span<const uint8_t> planar, std::span<uint8_t> chunky, size_t pixels,
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
    // Blocks of a fixed size, so that the compiler can use vector code.
    constexpr size_t kBlock = 32;
    size_t x = 0;
    for (; x + kBlock <= count; x += kBlock) {
        std::array<uint8_t, 3 * kBlock> block;
        for (size_t i = 0; i < kBlock; ++i) {
            block[3 * i] = a[x + i];
            block[3 * i + 1] = p1[x + i];
            block[3 * i + 2] = c[x + i];
        }
        std::memcpy(out + 3 * x, block.data(), block.size());
    }
    for (; x < count; ++x) {
        out[3 * x] = a[x];
        out[3 * x + 1] = p1[x];
        out[3 * x + 2] = c[x];
    }
}
