// PNM images read back, reduced and compared with the sheet they came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace siscan_test {

struct Image {
    std::string magic;  // "P4", "P5" or "P6"
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 1;       // 3 for P6; a P4 is read as one channel of 0 (black) and 255
    std::vector<uint8_t> pixels;  // interleaved, 8 bits per sample

    uint8_t At(uint32_t x, uint32_t y, uint32_t c = 0) const { return pixels[(size_t(y) * width + x) * channels + c]; }
};

// Reads a binary PNM with a maximum value of 255 (or a P4).
std::optional<Image> ReadPnm(const std::string& path);

// One channel of an image, or the mean of its channels (channel -1).
Image Channel(const Image& image, int channel);

// Box average over factor x factor pixels (a partial block at the edge is dropped).
Image Reduce(const Image& image, uint32_t factor);

// Pearson correlation of scan(x + dx, y + dy) with sheet(x, y) over the
// sheet pixels that fall inside the scan, every `stride`th pixel each way.
double Correlation(const Image& scan, const Image& sheet, int dx, int dy, uint32_t stride = 1);

struct Placement {
    int dx = 0;
    int dy = 0;
    double correlation = -2.0;
};

// Where the sheet lies in the scan: the best correlation over the offsets
// [dxFrom, dxTo] x [dyFrom, dyTo].
Placement Locate(const Image& scan, const Image& sheet, int dxFrom, int dxTo, int dyFrom, int dyTo,
                 uint32_t stride = 1);

// The sheet found in a scan, both one channel at `dpi` (a multiple of 25):
// located coarsely at 25 dpi, then at the scan's own resolution.
Placement LocateSheet(const Image& scan, const Image& sheet, uint32_t dpi);

}  // namespace siscan_test
