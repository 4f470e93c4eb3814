// Device-independent bitmaps as native and file transfers produce them: row
// sizes, the headers and palettes, and the row operations (bottom-up order,
// red/blue swap, 4-byte row alignment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Bytes of one row of `width` pixels at `bits` per pixel, padded to 4.
uint32_t DibRowSize(uint32_t bits, uint32_t width);

// Palette entries of a depth: 2 (1 bit), 256 (8 bits), 0 otherwise.
uint32_t DibPaletteEntries(uint32_t bits);

// 54 (file) or 40 (native) plus 4 bytes per palette entry.
uint32_t DibHeaderLength(uint32_t bits, bool withFileHeader);

// Pixels per metre of a resolution in dots per inch.
inline int32_t PelsPerMeter(int32_t dpi) { return dpi * 10000 / 254; }

// The headers (file header when asked) and palette of a bottom-up DIB.
std::vector<uint8_t> DibHeaders(uint32_t bits, int32_t dpi, uint32_t width, uint32_t rows, bool withFileHeader);

// Reverses the order of `count` rows of `rowSize` bytes in place.
void FlipRows(uint8_t* rows, uint32_t count, uint32_t rowSize);
// Swaps bytes 0 and 2 of every 3-byte pixel of `count` rows.
void SwapRedBlue(uint8_t* rows, uint32_t count, uint32_t rowSize);
// Spreads `count` rows of `rowLength` bytes to rows padded to a multiple of
// 4 with zeros, from the last row backwards in the same buffer.
void PadRows(uint8_t* buffer, uint32_t rowLength, uint32_t count);
