// The back side of a duplex wide line: the back sensor's pixels sit at the
// far end of the line and arrive mirrored, so the back image is the wide line
// read from its last pixel backwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
void MirrorLine8(std::span<const uint8_t> in, std::span<uint8_t> out);

// 24 bits per pixel: output pixel j = input pixel (inPixels - 1 - j), the
// three bytes of a pixel in their order.
void MirrorLine24(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out);

// 1 bit per pixel (most significant bit first): each output byte is the
// bit-reversal of the 8 pixels ending at the next unread input pixel, so the
// mirrored image starts at the last input pixel. The byte before the line
// counts as 0 (white bits never read from outside the line).
void MirrorLine1(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out);

// The back side at 1, 8 or 24 bits per pixel; other depths give a blank line.
void MirrorLine(std::span<const uint8_t> in, size_t inPixels, uint32_t bitsPerPixel, std::span<uint8_t> out);
