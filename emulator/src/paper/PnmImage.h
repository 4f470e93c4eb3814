#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace emulator {

// A binary PNM image: P5 (one channel) or P6 (R, G, B), maxval up to 65535.
struct PnmImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxval = 255;
    std::uint32_t channels = 1;
    std::vector<std::uint16_t> samples;  // row by row, channels interleaved

    std::uint16_t At(std::uint32_t column, std::uint32_t row, std::uint32_t channel) const
    {
        return samples[(static_cast<std::size_t>(row) * width + column) * channels +
                       (channels == 1 ? 0 : channel)];
    }
};

// Parses P5/P6 data; Error "not a P5 or P6 image" on anything else,
// including a truncated raster.
PnmImage ParsePnm(std::span<const std::uint8_t> bytes);
// Reads a file; Error "cannot read FILE" when it cannot be read.
PnmImage ReadPnm(const std::filesystem::path& path);
// Encodes an image as P5/P6 (for tests and fixtures).
std::vector<std::uint8_t> EncodePnm(const PnmImage& image);

} // namespace emulator
