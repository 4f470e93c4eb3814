// How the GL125 lays out its image lines and its shading memory: the padded
// line width, the planes of a colour line, the resolution divisors the chip
// averages over, and the 128-entry blocks of a shading area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The divisor f = opticalDpi / xResolution when it is exact and one the chip
// averages over (1, 2, 3, 4, 5, 6, 8, 10, 12, 15); otherwise the chip
// resamples. The scan mode bit and the shading layout both follow this test.
std::optional<int> GL125IntegerDivisor(int opticalDpi, int xResolution);

// The chip pads each line (each colour plane) to a multiple of 16 pixels in
// line art and to an even pixel count otherwise.
int GL125PaddedWidth(int width, int bitsPerPixel);

// One image line as the chip sends it and as the caller wants it: one plane
// in gray and line art, three consecutive planes (red, green, blue) in colour.
struct GL125LineLayout {
    size_t planes = 1;
    size_t planeBytes = 0;        // the caller's bytes of one plane
    size_t paddedPlaneBytes = 0;  // the chip's bytes of one plane

    static GL125LineLayout For(int width, int bitsPerPixel);
    size_t LineBytes() const { return planes * planeBytes; }
    size_t PaddedLineBytes() const { return planes * paddedPlaneBytes; }
    bool IsPadded() const { return planeBytes != paddedPlaneBytes; }
    // Copies lines from the chip's layout into the caller's, plane by plane.
    void Unpad(const uint8_t* padded, uint8_t* out, size_t lines) const;
};

// Entries of one shading area: 0xC000 bytes of 32-bit entries.
inline constexpr size_t kGL125ShadingAreaEntries = 0xC000 / 4;
// The chip reads the first 126 entries of every 128-entry block.
inline constexpr size_t kGL125ShadingBlockEntries = 128;
inline constexpr size_t kGL125ShadingUsedPerBlock = 126;
inline constexpr size_t kGL125ShadingLeadingEntries = 3;

// Size of the built table for a stored table of n entries (3 leading ones
// included).
constexpr size_t GL125BuiltShadingEntries(size_t n) {
    return n == 0 ? 0 : n + (n / kGL125ShadingUsedPerBlock) * 2 + kGL125ShadingLeadingEntries;
}

// The most sensor pixels whose built table still fits one shading area.
constexpr size_t GL125MaxShadingPixels() {
    size_t pixels = 0;
    while (GL125BuiltShadingEntries(pixels + 1 + kGL125ShadingLeadingEntries) <= kGL125ShadingAreaEntries) {
        ++pixels;
    }
    return pixels;
}

// Lays a stored shading table (entry i + 3 = sensor pixel i, {u16 offset,
// u16 gain}) out as the chip reads it at this resolution: at an averaging
// divisor each group's mean is written once per pixel of the group, pixel p
// in slot p + 3; when the chip resamples, pixel p goes to slot p + 2. Slot e
// sits at position e + 2 * (e / 126). Empty for an empty table.
std::vector<uint32_t> BuildGL125ShadingTable(int opticalDpi, int xResolution, std::span<const uint32_t> table);
