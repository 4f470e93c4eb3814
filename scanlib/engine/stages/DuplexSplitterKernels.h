// The back side of a duplex wide line: the back sensor's pixels sit at the
// far end of the line and arrive mirrored, so the back image is the wide line
// read from its last pixel backwards.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

// Bit b of the index becomes bit 7 - b.
constexpr std::array<uint8_t, 256> MakeBitReversalTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned b = 0; b < 8; ++b) {
            if (i & (1u << b)) {
                r |= 1u << (7 - b);
            }
        }
        table[i] = static_cast<uint8_t>(r);
    }
    return table;
}

inline constexpr std::array<uint8_t, 256> kBitReversal = MakeBitReversalTable();

// 8 bits per pixel: out[j] = in[in.size() - 1 - j].
inline void MirrorLine8(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t n = in.size();
    for (size_t j = 0; j < out.size(); ++j) {
        out[j] = j < n ? in[n - 1 - j] : 0;
    }
}

// 24 bits per pixel: output pixel j = input pixel (inPixels - 1 - j), the
// three bytes of a pixel in their order.
inline void MirrorLine24(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out)
{
    inPixels = std::min(inPixels, in.size() / 3);
    const size_t outPixels = out.size() / 3;
    for (size_t j = 0; j < outPixels; ++j) {
        if (j < inPixels) {
            std::memcpy(&out[3 * j], &in[3 * (inPixels - 1 - j)], 3);
        } else {
            std::memset(&out[3 * j], 0, 3);
        }
    }
}

// 1 bit per pixel (most significant bit first): each output byte is the
// bit-reversal of the 8 pixels ending at the next unread input pixel, so the
// mirrored image starts at the last input pixel. The byte before the line
// counts as 0 (white bits never read from outside the line).
inline void MirrorLine1(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out)
{
    inPixels = std::min(inPixels, in.size() * 8);
    const size_t inBytes = (inPixels + 7) / 8;
    const unsigned shift = static_cast<unsigned>((8 - inPixels % 8) % 8);
    for (size_t j = 0; j < out.size(); ++j) {
        if (j >= inBytes) {
            out[j] = 0;
            continue;
        }
        const size_t b = inBytes - 1 - j;
        const unsigned previous = b > 0 ? in[b - 1] : 0u;
        const unsigned word = (previous << 8) | in[b];
        out[j] = kBitReversal[(word >> shift) & 0xFFu];
    }
}

// The back side at 1, 8 or 24 bits per pixel; other depths give a blank line.
inline void MirrorLine(std::span<const uint8_t> in, size_t inPixels, uint32_t bitsPerPixel, std::span<uint8_t> out)
{
    switch (bitsPerPixel) {
    case 1:
        MirrorLine1(in, inPixels, out);
        break;
    case 8:
        MirrorLine8(in, out);
        break;
    case 24:
        MirrorLine24(in, inPixels, out);
        break;
    default:
        std::memset(out.data(), 0, out.size());
        break;
    }
}
