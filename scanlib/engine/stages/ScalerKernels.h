// Doubling of a line's pixels for sensors that scan at half the delivered
// resolution: every input pixel is followed by the average of it and its
// right neighbour; the last pixel is repeated.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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
inline void WidenLine1(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t n = std::min(in.size(), out.size() / 2);
    for (size_t x = 0; x < n; ++x) {
        const uint16_t d = kBitDoubling[in[x]];
        out[2 * x] = static_cast<uint8_t>(d >> 8);
        out[2 * x + 1] = static_cast<uint8_t>(d & 0xFF);
    }
}

// `Channels` bytes per pixel (1 gray, 3 colour): output pixel 2x = input
// pixel x, output pixel 2x + 1 = the channel-wise average of input pixels x
// and x + 1; the last two output pixels both equal the last input pixel.
template <size_t Channels>
inline void WidenLinePixels(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t pixels = std::min(in.size() / Channels, out.size() / (2 * Channels));
    if (pixels == 0) {
        return;
    }
    const uint8_t* p = in.data();
    uint8_t* o = out.data();
    const size_t innerBytes = (pixels - 1) * Channels;
    for (size_t i = 0; i < innerBytes; i += Channels) {
        for (size_t c = 0; c < Channels; ++c) {
            o[2 * i + c] = p[i + c];
            o[2 * i + Channels + c] = static_cast<uint8_t>((p[i + c] + p[i + Channels + c]) >> 1);
        }
    }
    const uint8_t* last = p + innerBytes;
    std::memcpy(o + 2 * innerBytes, last, Channels);
    std::memcpy(o + 2 * innerBytes + Channels, last, Channels);
}

// Widens a line at 1, 8 or 24 bits per pixel into WidenedBytes(in.size())
// bytes of out; other depths leave out as it is.
inline void WidenLine(std::span<const uint8_t> in, uint32_t bitsPerPixel, std::span<uint8_t> out)
{
    switch (bitsPerPixel) {
    case 1:
        WidenLine1(in, out);
        break;
    case 8:
        WidenLinePixels<1>(in, out);
        break;
    case 24:
        WidenLinePixels<3>(in, out);
        break;
    default:
        break;
    }
}
