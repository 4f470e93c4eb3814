#include "DibLayout.h"

#include <algorithm>
#include <cstring>

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

uint32_t DibRowSize(uint32_t bits, uint32_t width)
{
    switch (bits) {
    case 1:
        return ((width + 7) / 8 + 3) / 4 * 4;
    case 4:
        return ((width + 1) / 2 + 3) / 4 * 4;
    case 8:
        return (width + 3) / 4 * 4;
    case 24:
        return (3 * width + 3) / 4 * 4;
    default:
        return 0;
    }
}

uint32_t DibPaletteEntries(uint32_t bits)
{
    return bits == 1 ? 2 : bits == 8 ? 256 : 0;
}

uint32_t DibHeaderLength(uint32_t bits, bool withFileHeader)
{
    return (withFileHeader ? 54u : 40u) + 4 * DibPaletteEntries(bits);
}

std::vector<uint8_t> DibHeaders(uint32_t bits, int32_t dpi, uint32_t width, uint32_t rows, bool withFileHeader)
{
    const uint32_t length = DibHeaderLength(bits, withFileHeader);
    const uint32_t imageSize = rows * DibRowSize(bits, width);
    std::vector<uint8_t> out(length, 0);
    size_t info = 0;
    if (withFileHeader) {
        out[0] = 'B';
        out[1] = 'M';
        Put32(out, 2, length + imageSize);
        Put32(out, 10, length);
        info = 14;
    }
    const uint32_t colours = DibPaletteEntries(bits);
    Put32(out, info + 0, 40);
    Put32(out, info + 4, width);
    Put32(out, info + 8, rows);
    Put16(out, info + 12, 1);
    Put16(out, info + 14, bits);
    Put32(out, info + 16, 0);
    Put32(out, info + 20, imageSize);
    Put32(out, info + 24, static_cast<uint32_t>(PelsPerMeter(dpi)));
    Put32(out, info + 28, static_cast<uint32_t>(PelsPerMeter(dpi)));
    Put32(out, info + 32, colours);
    Put32(out, info + 36, colours);
    const size_t palette = info + 40;
    for (uint32_t i = 0; i < colours; ++i) {
        const uint8_t level = bits == 1 ? static_cast<uint8_t>(i * 255) : static_cast<uint8_t>(i);
        out[palette + 4 * i] = level;
        out[palette + 4 * i + 1] = level;
        out[palette + 4 * i + 2] = level;
    }
    return out;
}

void FlipRows(uint8_t* rows, uint32_t count, uint32_t rowSize)
{
    std::vector<uint8_t> spare(rowSize);
    for (uint32_t top = 0, bottom = count; top + 1 < bottom; ++top, --bottom) {
        uint8_t* a = rows + size_t(top) * rowSize;
        uint8_t* b = rows + size_t(bottom - 1) * rowSize;
        std::memcpy(spare.data(), a, rowSize);
        std::memcpy(a, b, rowSize);
        std::memcpy(b, spare.data(), rowSize);
    }
}

void SwapRedBlue(uint8_t* rows, uint32_t count, uint32_t rowSize)
{
    for (uint32_t r = 0; r < count; ++r) {
        uint8_t* row = rows + size_t(r) * rowSize;
        for (uint32_t x = 0; x + 2 < rowSize; x += 3) {
            std::swap(row[x], row[x + 2]);
        }
    }
}

void PadRows(uint8_t* buffer, uint32_t rowLength, uint32_t count)
{
    const uint32_t padded = (rowLength + 3) / 4 * 4;
    if (padded == rowLength) {
        return;
    }
    for (uint32_t r = count; r-- > 0;) {
        std::memmove(buffer + size_t(r) * padded, buffer + size_t(r) * rowLength, rowLength);
        std::memset(buffer + size_t(r) * padded + rowLength, 0, padded - rowLength);
    }
}
