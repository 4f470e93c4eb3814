#include "ScanSupport.h"

#include "../sisupport/SIClient.h"

#include <SIPropertyIds.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace scantest {

Gray MakeSheet(double widthInches, double lengthInches, bool back) {
    Gray g;
    g.width = static_cast<int>(widthInches * 600);
    g.height = static_cast<int>(lengthInches * 600);
    g.pixels.resize(static_cast<size_t>(g.width) * g.height);
    const double pi = 3.14159265358979;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const double u = x / 600.0, v = y / 600.0;
            double level = back ? 0.55 + 0.4 * std::cos(2 * pi * (u + 0.3 * v) / 1.3)
                                : 0.55 + 0.4 * std::sin(2 * pi * u / 1.1) * std::cos(2 * pi * v / 0.9);
            // The block sits near the top left corner of each side as seen
            // from that side.
            if (u > 0.25 && u < 1.0 && v > 0.25 && v < 0.75) level = 0.05;
            // White bands along the leading and trailing edges mark them.
            if (v < 0.2 || v > lengthInches - 0.2) level = 1.0;
            g.pixels[static_cast<size_t>(y) * g.width + x] =
                static_cast<uint8_t>(std::clamp(level, 0.0, 1.0) * 255.0 + 0.5);
        }
    }
    return g;
}

void WritePgm(const std::filesystem::path& path, const Gray& image) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
}

namespace {

ScannedSide ReadSide(int side, int chunkLines) {
    ScannedSide s;
    s.width = siclient::Int(SI_PROP_SCAN_WIDTH);
    s.bytesPerLine = siclient::Int(SI_PROP_WIDTH_IN_BYTES);
    std::vector<uint8_t> buffer(static_cast<size_t>(s.bytesPerLine) * chunkLines);
    for (;;) {
        int got = 0;
        const SIResult r = SI_ReadImageData(buffer.data(), static_cast<uint32_t>(chunkLines),
                                            static_cast<uint32_t>(side), &got);
        if (r == SI_OK || r == SI_END_OF_PAGE) {
            s.data.insert(s.data.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(got) * s.bytesPerLine);
            s.lines += got;
        }
        if (r != SI_OK) {
            s.endResult = r;
            return s;
        }
    }
}

}  // namespace

ScannedPage ScanPage(bool duplex, int chunkLines) {
    ScannedPage page;
    page.start = SI_StartScan();
    if (page.start != SI_OK) return page;
    page.front = ReadSide(0, chunkLines);
    if (duplex && page.front.endResult == SI_END_OF_PAGE) page.back = ReadSide(1, chunkLines);
    page.end = SI_EndScan();
    return page;
}

Gray ToGray(const ScannedSide& side, int colourMode) {
    Gray g;
    g.width = side.width;
    g.height = side.lines;
    g.pixels.resize(static_cast<size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y) {
        const uint8_t* line = side.data.data() + static_cast<size_t>(y) * side.bytesPerLine;
        for (int x = 0; x < g.width; ++x) {
            uint8_t v = 0;
            if (colourMode == 2) {
                v = static_cast<uint8_t>((line[3 * x] + line[3 * x + 1] + line[3 * x + 2]) / 3);
            } else if (colourMode == 1) {
                v = line[x];
            } else {
                v = ((line[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0;
            }
            g.pixels[static_cast<size_t>(y) * g.width + x] = v;
        }
    }
    return g;
}

Gray Reduce(const Gray& image, int factor) {
    Gray g;
    g.width = image.width / factor;
    g.height = image.height / factor;
    g.pixels.resize(static_cast<size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            int sum = 0;
            for (int j = 0; j < factor; ++j) {
                for (int i = 0; i < factor; ++i) sum += image.At(x * factor + i, y * factor + j);
            }
            g.pixels[static_cast<size_t>(y) * g.width + x] = static_cast<uint8_t>(sum / (factor * factor));
        }
    }
    return g;
}

namespace {

double Correlation(const Gray& scan, const Gray& sheet, int dx, int dy) {
    const int w = std::min(sheet.width, scan.width - dx);
    const int h = std::min(sheet.height, scan.height - dy);
    if (w < sheet.width / 2 || h < sheet.height / 2) return -1;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    const double n = static_cast<double>(w) * h;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double a = scan.At(x + dx, y + dy), b = sheet.At(x, y);
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
        }
    }
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    if (va <= 0 || vb <= 0) return 0;
    return (sab - sa * sb / n) / std::sqrt(va * vb);
}

}  // namespace

Match BestMatch(const Gray& scan, const Gray& sheet, int maxDy) {
    Match best;
    const int centre = (scan.width - sheet.width) / 2;
    const int spread = std::max(4, scan.width / 50);
    for (int dy = 0; dy <= maxDy; ++dy) {
        for (int dx = std::max(0, centre - spread); dx <= std::max(0, centre + spread); ++dx) {
            const double c = Correlation(scan, sheet, dx, dy);
            if (c > best.correlation) best = {c, dx, dy};
        }
    }
    return best;
}

namespace {

double LineMean(const Gray& image, int y, int x0, int x1) {
    double sum = 0;
    for (int x = x0; x < x1; ++x) sum += image.At(x, y);
    return sum / std::max(1, x1 - x0);
}

}  // namespace

int FirstLineAbove(const Gray& image, double level, int x0, int x1) {
    for (int y = 0; y < image.height; ++y) {
        if (LineMean(image, y, x0, x1) > level) return y;
    }
    return -1;
}

int LastLineAbove(const Gray& image, double level, int x0, int x1) {
    for (int y = image.height - 1; y >= 0; --y) {
        if (LineMean(image, y, x0, x1) > level) return y;
    }
    return -1;
}

}  // namespace scantest
