// Doubling of a line's pixels for sensors that scan at half the delivered
// resolution: every input pixel is followed by the average of it and its
// right neighbour; the last pixel is repeated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Bit b of the byte sets bits 2b and 2b + 1.
constexpr std::array<uint16_t, 256> MakeBitDoublingTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned d = 0;
        for (unsigned b = 0; b < 8; ++b) {
            if (i & (1u << b)) {
                d |= 3u << (2 * b);
            }
        }
        table[i] = static_cast<uint16_t>(d);
    }
    return table;
}

inline constexpr std::array<uint16_t, 256> kBitDoubling = MakeBitDoublingTable();

// Bytes of the widened form of an input line of `inBytes` bytes.
constexpr size_t WidenedBytes(size_t inBytes) { return 2 * inBytes; }

// 1 bit per pixel: output bytes 2x and 2x + 1 are the high and low byte of
// the doubled bits of input byte x.
void WidenLine1(std::span<const uint8_t> in, std::span<uint8_t> out);

// Widens a line at 1, 8 or 24 bits per pixel into WidenedBytes(in.size())
// bytes of out; other depths leave out as it is. At 8 and 24 bits, output
// pixel 2x = input pixel x, output pixel 2x + 1 = the channel-wise average of
// input pixels x and x + 1; the last two output pixels both equal the last
// input pixel.
void WidenLine(std::span<const uint8_t> in, uint32_t bitsPerPixel, std::span<uint8_t> out);
