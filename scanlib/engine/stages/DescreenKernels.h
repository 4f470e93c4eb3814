// The descreen filter: a 3x3 kernel 1 1 1 / 1 3 1 / 1 1 1 over 11, per colour
// channel, computed as three horizontal sums plus twice the centre.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

// sums[x] = line[x - k] + line[x] + line[x + k] with stride k (bytes per
// pixel); a neighbour outside the line is replaced by the pixel itself, so
// the edges are replicated (also when the line is narrower than the kernel).
inline void HorizontalSum(std::span<const uint8_t> line, size_t stride, std::span<uint16_t> sums)
{
    const size_t w = std::min(line.size(), sums.size());
    const uint8_t* p = line.data();
    uint16_t* h = sums.data();
    const size_t k = stride;
    const size_t innerEnd = w > k ? w - k : 0;
    const size_t innerBegin = std::min(k, innerEnd);
    auto edge = [&](size_t x) {
        const size_t left = x >= k ? x - k : x;
        const size_t right = x + k < w ? x + k : x;
        h[x] = static_cast<uint16_t>(p[left] + p[x] + p[right]);
    };
    for (size_t x = 0; x < innerBegin; ++x) {
        edge(x);
    }
    for (size_t x = innerBegin; x < innerEnd; ++x) {
        h[x] = static_cast<uint16_t>(p[x - k] + p[x] + p[x + k]);
    }
    for (size_t x = std::max(innerBegin, innerEnd); x < w; ++x) {
        edge(x);
    }
}

// out[x] = (previous[x] + middle[x] + next[x] + 2 x centre[x]) / 11, where the
// sums are the horizontal sums of the line above, the centre line and the line
// below, and centre is the raw centre line.
inline void DescreenLine(std::span<const uint16_t> previous, std::span<const uint16_t> middle,
                         std::span<const uint16_t> next, std::span<const uint8_t> centre, std::span<uint8_t> out)
{
    const size_t w = std::min({previous.size(), middle.size(), next.size(), centre.size(), out.size()});
    const uint16_t* a = previous.data();
    const uint16_t* b = middle.data();
    const uint16_t* c = next.data();
    const uint8_t* r = centre.data();
    uint8_t* o = out.data();
    for (size_t x = 0; x < w; ++x) {
        const unsigned total = unsigned{a[x]} + b[x] + c[x] + 2u * r[x];
        o[x] = static_cast<uint8_t>(total / 11u);
    }
}
