#include "chips/GL125ImageLayout.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::array<int, 10> kAveragingDivisors = {1, 2, 3, 4, 5, 6, 8, 10, 12, 15};

constexpr size_t PositionOfSlot(size_t slot) { return slot + 2 * (slot / kGL125ShadingUsedPerBlock); }

static_assert(PositionOfSlot(3) == 3 && PositionOfSlot(125) == 125 && PositionOfSlot(126) == 128);
static_assert(PositionOfSlot(252) == 256);

}  // namespace

std::optional<int> GL125IntegerDivisor(int opticalDpi, int xResolution) {
    if (opticalDpi <= 0 || xResolution <= 0 || opticalDpi % xResolution != 0) {
        return std::nullopt;
    }
    const int f = opticalDpi / xResolution;
    if (std::find(kAveragingDivisors.begin(), kAveragingDivisors.end(), f) == kAveragingDivisors.end()) {
        return std::nullopt;
    }
    return f;
}

int GL125PaddedWidth(int width, int bitsPerPixel) {
    if (width <= 0) {
        return 0;
    }
    const int unit = bitsPerPixel == 1 ? 16 : 2;
    return (width + unit - 1) / unit * unit;
}

GL125LineLayout GL125LineLayout::For(int width, int bitsPerPixel) {
    GL125LineLayout layout;
    if (width <= 0 || bitsPerPixel <= 0) {
        return layout;
    }
    const bool colour = bitsPerPixel == 24 || bitsPerPixel == 48;
    layout.planes = colour ? 3 : 1;
    const auto sampleBits = static_cast<size_t>(bitsPerPixel) / layout.planes;
    const auto padded = static_cast<size_t>(GL125PaddedWidth(width, bitsPerPixel));
    layout.planeBytes = (static_cast<size_t>(width) * sampleBits + 7) / 8;
    layout.paddedPlaneBytes = (padded * sampleBits + 7) / 8;
    return layout;
}

void GL125LineLayout::Unpad(const uint8_t* padded, uint8_t* out, size_t lines) const {
    for (size_t line = 0; line < lines; ++line) {
        for (size_t plane = 0; plane < planes; ++plane) {
            std::memcpy(out, padded, planeBytes);
            out += planeBytes;
            padded += paddedPlaneBytes;
        }
    }
}

std::vector<uint32_t> BuildGL125ShadingTable(int opticalDpi, int xResolution, std::span<const uint32_t> table) {
    const size_t n = table.size();
    std::vector<uint32_t> out(GL125BuiltShadingEntries(n), 0);
    if (n <= kGL125ShadingLeadingEntries) {
        return out;
    }
    const std::span<const uint32_t> pixels = table.subspan(kGL125ShadingLeadingEntries);
    const std::optional<int> divisor = GL125IntegerDivisor(opticalDpi, xResolution);
    if (!divisor) {
        // Resampling reads pixel p at slot p + 2; slot 2 is the one leading
        // slot the chip reads.
        for (size_t p = 0; p < pixels.size(); ++p) {
            out[PositionOfSlot(p + 2)] = pixels[p];
        }
        return out;
    }
    const auto f = static_cast<size_t>(*divisor);
    for (size_t first = 0; first + f <= pixels.size(); first += f) {
        uint64_t offsets = 0;
        uint64_t gains = 0;
        for (size_t i = first; i < first + f; ++i) {
            offsets += pixels[i] & 0xFFFFu;
            gains += pixels[i] >> 16;
        }
        const auto mean = static_cast<uint32_t>((gains / f) << 16 | (offsets / f));
        for (size_t i = first; i < first + f; ++i) {
            out[PositionOfSlot(i + kGL125ShadingLeadingEntries)] = mean;
        }
    }
    return out;
}
