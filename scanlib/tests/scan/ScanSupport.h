// Pages for the end-to-end scans: test sheets written as PNM files, a whole
// page read through the SI functions, and the comparison of a scanned side
// with the sheet it came from.
#pragma once

#include <SIInterface.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace scantest {

// An 8-bit gray image, row-major.
struct Gray {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    uint8_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A sheet at 600 dpi: smooth shading in both directions, and a dark block
// near one corner so that a mirrored or upside-down image shows.
Gray MakeSheet(double widthInches, double lengthInches, bool back);
void WritePgm(const std::filesystem::path& path, const Gray& image);

struct ScannedSide {
    int width = 0;          // pixels, property 14
    int bytesPerLine = 0;   // property 19
    int lines = 0;
    std::vector<uint8_t> data;
    SIResult endResult = 0;  // the result that ended the reads (20 when whole)
};

struct ScannedPage {
    SIResult start = 0;
    ScannedSide front;
    ScannedSide back;
    SIResult end = 0;
};

// SI_StartScan, every side until 20 (or a failure), SI_EndScan.
ScannedPage ScanPage(bool duplex, int chunkLines = 64);

// One side as 8-bit gray: colour pixels averaged, line art expanded.
Gray ToGray(const ScannedSide& side, int colourMode);

// Box-averaged to a lower resolution by an integer factor.
Gray Reduce(const Gray& image, int factor);

// The best normalised correlation of the sheet (reduced to the scan's
// resolution) with the scan, over a search of placements; also where.
struct Match {
    double correlation = -1;
    int dx = 0;
    int dy = 0;
};
Match BestMatch(const Gray& scan, const Gray& sheet, int maxDy);

// The first line, from the top, whose mean is above the level (the sheet's
// leading edge against the darker backing); -1 when none.
int FirstLineAbove(const Gray& image, double level, int x0, int x1);
// The last such line.
int LastLineAbove(const Gray& image, double level, int x0, int x1);

}  // namespace scantest
