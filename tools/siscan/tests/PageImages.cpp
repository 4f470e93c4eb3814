#include "PageImages.h"

#include <cmath>
#include <fstream>

namespace siscan_test {
namespace {

bool ReadToken(std::istream& in, std::string& token)
{
    token.clear();
    int c = in.get();
    while (c != EOF && (std::isspace(c) || c == '#')) {
        if (c == '#') {
            while (c != EOF && c != '\n') {
                c = in.get();
            }
        }
        c = in.get();
    }
    while (c != EOF && !std::isspace(c)) {
        token += static_cast<char>(c);
        c = in.get();
    }
    return !token.empty();  // the one whitespace after the token is consumed
}

}  // namespace

std::optional<Image> ReadPnm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    Image image;
    std::string width;
    std::string height;
    std::string maxval = "255";
    if (!ReadToken(in, image.magic) || !ReadToken(in, width) || !ReadToken(in, height)) {
        return std::nullopt;
    }
    if (image.magic != "P4" && !ReadToken(in, maxval)) {
        return std::nullopt;
    }
    if ((image.magic != "P4" && image.magic != "P5" && image.magic != "P6") || maxval != "255") {
        return std::nullopt;
    }
    image.width = static_cast<uint32_t>(std::stoul(width));
    image.height = static_cast<uint32_t>(std::stoul(height));
    image.channels = image.magic == "P6" ? 3 : 1;
    const std::streampos start = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.seekg(start);
    std::vector<uint8_t> data(static_cast<size_t>(end - start));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!in) {
        return std::nullopt;
    }
    if (image.magic == "P4") {
        const size_t lineBytes = (image.width + 7) / 8;
        if (data.size() != lineBytes * image.height) {
            return std::nullopt;
        }
        image.pixels.resize(size_t(image.width) * image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            for (uint32_t x = 0; x < image.width; ++x) {
                const bool black = (data[y * lineBytes + x / 8] >> (7 - x % 8)) & 1;
                image.pixels[size_t(y) * image.width + x] = black ? 0 : 255;
            }
        }
        return image;
    }
    if (data.size() != size_t(image.width) * image.height * image.channels) {
        return std::nullopt;
    }
    image.pixels = data;
    return image;
}

Image Channel(const Image& image, int channel)
{
    Image out{"P5", image.width, image.height, 1, {}};
    out.pixels.resize(size_t(image.width) * image.height);
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const uint8_t* p = &image.pixels[i * image.channels];
        if (channel >= 0) {
            out.pixels[i] = p[channel];
        } else {
            unsigned sum = 0;
            for (uint32_t c = 0; c < image.channels; ++c) {
                sum += p[c];
            }
            out.pixels[i] = static_cast<uint8_t>(sum / image.channels);
        }
    }
    return out;
}

Image Reduce(const Image& image, uint32_t factor)
{
    Image out{image.magic, image.width / factor, image.height / factor, image.channels, {}};
    out.pixels.assign(size_t(out.width) * out.height * out.channels, 0);
    std::vector<uint32_t> sums(size_t(out.width) * out.channels);
    for (uint32_t oy = 0; oy < out.height; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (uint32_t y = oy * factor; y < (oy + 1) * factor; ++y) {
            const uint8_t* line = &image.pixels[size_t(y) * image.width * image.channels];
            for (uint32_t ox = 0; ox < out.width; ++ox) {
                for (uint32_t x = ox * factor; x < (ox + 1) * factor; ++x) {
                    for (uint32_t c = 0; c < image.channels; ++c) {
                        sums[ox * out.channels + c] += line[x * image.channels + c];
                    }
                }
            }
        }
        for (size_t i = 0; i < sums.size(); ++i) {
            out.pixels[size_t(oy) * out.width * out.channels + i] = static_cast<uint8_t>(sums[i] / (factor * factor));
        }
    }
    return out;
}

double Correlation(const Image& scan, const Image& sheet, int dx, int dy, uint32_t stride)
{
    double n = 0, sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (uint32_t y = 0; y < sheet.height; y += stride) {
        const int sy = static_cast<int>(y) + dy;
        if (sy < 0 || sy >= static_cast<int>(scan.height)) {
            continue;
        }
        for (uint32_t x = 0; x < sheet.width; x += stride) {
            const int sx = static_cast<int>(x) + dx;
            if (sx < 0 || sx >= static_cast<int>(scan.width)) {
                continue;
            }
            const double a = scan.At(static_cast<uint32_t>(sx), static_cast<uint32_t>(sy));
            const double b = sheet.At(x, y);
            n += 1;
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
        }
    }
    if (n < 2) {
        return 0.0;
    }
    const double cov = sab - sa * sb / n;
    const double va = saa - sa * sa / n;
    const double vb = sbb - sb * sb / n;
    return va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0.0;
}

Placement Locate(const Image& scan, const Image& sheet, int dxFrom, int dxTo, int dyFrom, int dyTo, uint32_t stride)
{
    Placement best;
    for (int dy = dyFrom; dy <= dyTo; ++dy) {
        for (int dx = dxFrom; dx <= dxTo; ++dx) {
            const double r = Correlation(scan, sheet, dx, dy, stride);
            if (r > best.correlation) {
                best = {dx, dy, r};
            }
        }
    }
    return best;
}

Placement LocateSheet(const Image& scan, const Image& sheet, uint32_t dpi)
{
    const uint32_t coarse = dpi / 25;
    // Within half an inch across and from half an inch before to an inch after.
    const Placement rough = Locate(Reduce(scan, coarse), Reduce(sheet, coarse), -12, 12, -12, 25);
    const int dx = rough.dx * static_cast<int>(coarse);
    const int dy = rough.dy * static_cast<int>(coarse);
    const int margin = static_cast<int>(coarse);
    return Locate(scan, sheet, dx - margin, dx + margin, dy - margin, dy + margin, 2);
}

}  // namespace siscan_test
