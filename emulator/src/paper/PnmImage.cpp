#include "PnmImage.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <limits>

#include <emulator/VirtualScanner.h>

namespace emulator {

namespace {

constexpr std::string_view kNotPnm = "not a P5 or P6 image";

class HeaderReader {
public:
    explicit HeaderReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // One decimal field after white space and comments.
    std::uint32_t Number()
    {
        SkipSpace();
        std::uint64_t value = 0;
        std::size_t digits = 0;
        while (pos_ < bytes_.size() && std::isdigit(bytes_[pos_])) {
            value = value * 10 + (bytes_[pos_++] - '0');
            if (value > std::numeric_limits<std::uint32_t>::max())
                throw Error(std::string(kNotPnm));
            ++digits;
        }
        if (digits == 0)
            throw Error(std::string(kNotPnm));
        return static_cast<std::uint32_t>(value);
    }
    // The single white-space byte that ends the header.
    void EndOfHeader()
    {
        if (pos_ >= bytes_.size() || !std::isspace(bytes_[pos_]))
            throw Error(std::string(kNotPnm));
        ++pos_;
    }
    std::size_t Position() const { return pos_; }

private:
    void SkipSpace()
    {
        while (pos_ < bytes_.size()) {
            if (bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n')
                    ++pos_;
            } else if (std::isspace(bytes_[pos_])) {
                ++pos_;
            } else {
                break;
            }
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 2;
};

} // namespace

PnmImage ParsePnm(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        throw Error(std::string(kNotPnm));
    PnmImage image;
    image.channels = bytes[1] == '6' ? 3 : 1;
    HeaderReader header(bytes);
    image.width = header.Number();
    image.height = header.Number();
    image.maxval = header.Number();
    header.EndOfHeader();
    if (image.width == 0 || image.height == 0 || image.maxval == 0 || image.maxval > 65535)
        throw Error(std::string(kNotPnm));

    // Sizes in 64 bits: a header's product may not fit a 32-bit size_t.
    const std::uint64_t sampleBytes = image.maxval > 255 ? 2 : 1;
    const std::uint64_t wanted = static_cast<std::uint64_t>(image.width) * image.height * image.channels;
    const std::uint64_t available = bytes.size() - header.Position();
    if (wanted > available / sampleBytes)
        throw Error(std::string(kNotPnm));
    const auto count = static_cast<std::size_t>(wanted);
    image.samples.resize(count);
    const std::uint8_t* raster = bytes.data() + header.Position();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t v = sampleBytes == 2 ? (raster[2 * i] << 8) | raster[2 * i + 1] : raster[i];
        if (v > image.maxval)
            v = image.maxval;
        image.samples[i] = static_cast<std::uint16_t>(v);
    }
    return image;
}

PnmImage ReadPnm(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot read " + path.string());
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw Error("cannot read " + path.string());
    return ParsePnm(bytes);
}

std::vector<std::uint8_t> EncodePnm(const PnmImage& image)
{
    const std::string header = std::string(image.channels == 3 ? "P6" : "P5") + "\n" +
                               std::to_string(image.width) + " " + std::to_string(image.height) + "\n" +
                               std::to_string(image.maxval) + "\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    for (std::uint16_t v : image.samples) {
        if (image.maxval > 255)
            out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return out;
}

} // namespace emulator
