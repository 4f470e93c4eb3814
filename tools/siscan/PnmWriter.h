// Binary PNM files: PBM (P4) for line art, PGM (P5) for gray, PPM (P6) for
// colour, from lines as the scanner library delivers them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

enum class PnmFormat { Bitmap, Graymap, Pixmap };

// Bytes of one line of `width` pixels in the format (also the library's line).
uint32_t PnmLineBytes(PnmFormat format, uint32_t width);

// Writes `lines` lines of `width` pixels from `data` (PnmLineBytes each). The
// library's line art has 1 for white; PBM has 1 for black, so bitmap lines
// are inverted on the way out. False when the file cannot be written or the
// data is shorter than the image.
bool WritePnm(const std::string& path, PnmFormat format, uint32_t width, uint32_t lines,
              std::span<const uint8_t> data);
