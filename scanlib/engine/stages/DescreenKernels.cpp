#include "engine/stages/DescreenKernels.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Pixels per block of the vectorisable loops.
constexpr size_t kSumBlock = 32;

// The kernel's total stays below 16 bits (3 x 765 + 2 x 255), and for every
// such total the division by 11 equals a 16-bit multiply-high, which vector
// units do eight or more lanes at a time.
constexpr unsigned kLargestTotal = 3 * 765 + 2 * 255;
constexpr unsigned kElevenths = 5958;  // ceil(65536 / 11)

constexpr uint8_t DivideBy11(unsigned total) { return static_cast<uint8_t>((total * kElevenths) >> 16); }

constexpr bool DivisionHolds()
{
    for (unsigned total = 0; total <= kLargestTotal; ++total) {
        if (DivideBy11(total) != total / 11) {
            return false;
        }
    }
    return true;
}
static_assert(DivisionHolds());

}  // namespace

void HorizontalSum(std::span<const uint8_t> line, size_t stride, std::span<uint16_t> sums)
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
    // Blocks of a fixed size, so that the compiler turns them into vector code.
    size_t x = innerBegin;
    for (; x + kSumBlock <= innerEnd; x += kSumBlock) {
        std::array<uint16_t, kSumBlock> block;
        for (size_t i = 0; i < kSumBlock; ++i) {
            block[i] = static_cast<uint16_t>(p[x + i - k] + p[x + i] + p[x + i + k]);
        }
        std::memcpy(h + x, block.data(), sizeof(block));
    }
    for (; x < innerEnd; ++x) {
        h[x] = static_cast<uint16_t>(p[x - k] + p[x] + p[x + k]);
    }
    for (; x < w; ++x) {
        edge(x);
    }
}

void DescreenLine(std::span<const uint16_t> previous, std::span<const uint16_t> middle,
                  std::span<const uint16_t> next, std::span<const uint8_t> centre, std::span<uint8_t> out)
{
    const size_t w = std::min({previous.size(), middle.size(), next.size(), centre.size(), out.size()});
    const uint16_t* a = previous.data();
    const uint16_t* b = middle.data();
    const uint16_t* c = next.data();
    const uint8_t* r = centre.data();
    uint8_t* o = out.data();
    auto filtered = [&](size_t x) {
        const uint16_t total = static_cast<uint16_t>(a[x] + b[x] + c[x] + 2 * r[x]);
        return DivideBy11(total);
    };
    size_t x = 0;
    for (; x + kSumBlock <= w; x += kSumBlock) {
        std::array<uint8_t, kSumBlock> block;
        for (size_t i = 0; i < kSumBlock; ++i) {
            block[i] = filtered(x + i);
        }
        std::memcpy(o + x, block.data(), sizeof(block));
    }
    for (; x < w; ++x) {
        o[x] = filtered(x);
    }
}
