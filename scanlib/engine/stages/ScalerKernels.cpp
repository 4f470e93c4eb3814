#include "engine/stages/ScalerKernels.h"

#include <algorithm>
#include <cstring>

namespace {

// Pixels per block of the vectorisable loop.
constexpr size_t kWidenBlock = 16;

// `Channels` bytes per pixel (1 gray, 3 colour): output pixel 2x = input
// pixel x, output pixel 2x + 1 = the channel-wise average of input pixels x
// and x + 1; the last two output pixels both equal the last input pixel.
template <size_t Channels>
void WidenLinePixels(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t pixels = std::min(in.size() / Channels, out.size() / (2 * Channels));
    if (pixels == 0) {
        return;
    }
    const uint8_t* p = in.data();
    uint8_t* o = out.data();
    const size_t innerBytes = (pixels - 1) * Channels;
    size_t i = 0;
    // Blocks of a fixed size, so that the averages become vector code; each
    // block reads one pixel beyond itself, which always exists here.
    constexpr size_t kBlockBytes = kWidenBlock * Channels;
    for (; i + kBlockBytes <= innerBytes; i += kBlockBytes) {
        std::array<uint8_t, kBlockBytes + Channels> source;
        std::memcpy(source.data(), p + i, source.size());
        std::array<uint8_t, kBlockBytes> average;
        for (size_t j = 0; j < kBlockBytes; ++j) {
            average[j] = static_cast<uint8_t>((source[j] + source[j + Channels]) >> 1);
        }
        std::array<uint8_t, 2 * kBlockBytes> block;
        for (size_t j = 0; j < kBlockBytes; j += Channels) {
            for (size_t c = 0; c < Channels; ++c) {
                block[2 * j + c] = source[j + c];
                block[2 * j + Channels + c] = average[j + c];
            }
        }
        std::memcpy(o + 2 * i, block.data(), block.size());
    }
    for (; i < innerBytes; i += Channels) {
        for (size_t c = 0; c < Channels; ++c) {
            o[2 * i + c] = p[i + c];
            o[2 * i + Channels + c] = static_cast<uint8_t>((p[i + c] + p[i + Channels + c]) >> 1);
        }
    }
    const uint8_t* last = p + innerBytes;
    std::memcpy(o + 2 * innerBytes, last, Channels);
    std::memcpy(o + 2 * innerBytes + Channels, last, Channels);
}

}  // namespace

// 1 bit per pixel: output bytes 2x and 2x + 1 are the high and low byte of
// the doubled bits of input byte x.
void WidenLine1(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t n = std::min(in.size(), out.size() / 2);
    for (size_t x = 0; x < n; ++x) {
        const uint16_t d = kBitDoubling[in[x]];
        out[2 * x] = static_cast<uint8_t>(d >> 8);
        out[2 * x + 1] = static_cast<uint8_t>(d & 0xFF);
    }
}

// Widens a line at 1, 8 or 24 bits per pixel into WidenedBytes(in.size())
// bytes of out; other depths leave out as it is.
void WidenLine(std::span<const uint8_t> in, uint32_t bitsPerPixel, std::span<uint8_t> out)
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
