#include "PnmWriter.h"

#include <fstream>
#include <vector>

uint32_t PnmLineBytes(PnmFormat format, uint32_t width)
{
    switch (format) {
    case PnmFormat::Bitmap:
        return (width + 7) / 8;
    case PnmFormat::Graymap:
        return width;
    case PnmFormat::Pixmap:
        return width * 3;
    }
    return 0;
}

bool WritePnm(const std::string& path, PnmFormat format, uint32_t width, uint32_t lines,
              std::span<const uint8_t> data)
{
    const uint64_t lineBytes = PnmLineBytes(format, width);
    if (width == 0 || data.size() < lineBytes * lines) {
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    const char* magic = format == PnmFormat::Bitmap ? "P4" : format == PnmFormat::Graymap ? "P5" : "P6";
    file << magic << '\n' << width << ' ' << lines << '\n';
    if (format != PnmFormat::Bitmap) {
        file << "255\n";
    }
    if (format == PnmFormat::Bitmap) {
        // Invert, keeping the spare bits of the last byte 0.
        const unsigned spare = static_cast<unsigned>(lineBytes * 8 - width);
        const auto lastMask = static_cast<uint8_t>(0xFF << spare);
        std::vector<uint8_t> line(lineBytes);
        for (uint32_t y = 0; y < lines; ++y) {
            const uint8_t* source = data.data() + y * lineBytes;
            for (uint64_t x = 0; x < lineBytes; ++x) {
                line[x] = static_cast<uint8_t>(~source[x]);
            }
            line[lineBytes - 1] &= lastMask;
            file.write(reinterpret_cast<const char*>(line.data()), static_cast<std::streamsize>(lineBytes));
        }
    } else {
        file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(lineBytes * lines));
    }
    file.close();
    return !file.fail();
}
