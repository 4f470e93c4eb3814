#include "engine/stages/DuplexSplitterKernels.h"

#include <algorithm>
#include <cstring>

void MirrorLine8(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    const size_t n = in.size();
    for (size_t j = 0; j < out.size(); ++j) {
        out[j] = j < n ? in[n - 1 - j] : 0;
    }
}

void MirrorLine24(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out)
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

void MirrorLine1(std::span<const uint8_t> in, size_t inPixels, std::span<uint8_t> out)
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

void MirrorLine(std::span<const uint8_t> in, size_t inPixels, uint32_t bitsPerPixel, std::span<uint8_t> out)
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
