// Writes the sample page's front and back as 600-dpi PPM files:
//   samplepage FRONT.ppm BACK.ppm
#include "SamplePage.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace {

bool WriteFace(const char* path, sample_page::Face face)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "P6\n" << sample_page::kWidth << ' ' << sample_page::kLength << "\n255\n";
    std::vector<char> line(static_cast<size_t>(sample_page::kWidth) * 3);
    for (uint32_t y = 0; y < sample_page::kLength && file; ++y) {
        for (uint32_t x = 0; x < sample_page::kWidth; ++x) {
            const sample_page::Rgb rgb = sample_page::Pixel(face, x, y);
            for (size_t c = 0; c < 3; ++c) {
                line[x * 3 + c] = static_cast<char>(rgb[c]);
            }
        }
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    file.close();
    return !file.fail();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: samplepage FRONT.ppm BACK.ppm\n");
        return 2;
    }
    if (!WriteFace(argv[1], sample_page::Face::Front) || !WriteFace(argv[2], sample_page::Face::Back)) {
        std::fprintf(stderr, "samplepage: cannot write the page\n");
        return 1;
    }
    return 0;
}
