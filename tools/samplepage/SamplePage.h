// The sample page: a letter-size sheet at 600 dpi for the virtual scanner,
// with lines of text-like bars, gray steps, colour patches and a ramp on the
// front and an asymmetric layout on the back, so that a scan of either side
// shows whether it is whole, right-reading and in tone.
#pragma once

#include <array>
#include <cstdint>

namespace sample_page {

constexpr uint32_t kDpi = 600;
constexpr uint32_t kWidth = 8 * kDpi + kDpi / 2;  // 8.5 in
constexpr uint32_t kLength = 11 * kDpi;           // 11 in

enum class Face { Front, Back };

using Rgb = std::array<uint8_t, 3>;

// The colour of the sheet at column x, row y (600 dpi) of a face, the back
// as seen from the back.
Rgb Pixel(Face face, uint32_t x, uint32_t y);

}  // namespace sample_page
