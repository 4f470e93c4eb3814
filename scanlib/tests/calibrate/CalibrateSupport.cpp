#include "CalibrateSupport.h"

#include "../sisupport/SIClient.h"

#include <SIPropertyIds.h>

#include <platform/testing.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

namespace calibtest {

using namespace siclient;

std::filesystem::path WriteFlatSheet(const char* name, double widthInches, double lengthInches, uint8_t value) {
    const auto path = std::filesystem::path(platform::testing::Root()) / name;
    const int w = static_cast<int>(std::lround(widthInches * 600));
    const int h = static_cast<int>(std::lround(lengthInches * 600));
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << w << " " << h << "\n255\n";
    const std::string row(static_cast<size_t>(w), static_cast<char>(value));
    for (int y = 0; y < h; ++y) out.write(row.data(), static_cast<std::streamsize>(row.size()));
    return path;
}

Page ScanFlatPage(int dpi, int mode, double lengthInches) {
    SetInt(SI_PROP_Y_RESOLUTION, dpi);
    SetInt(SI_PROP_X_RESOLUTION, dpi);
    SetInt(SI_PROP_COLOR_MODE, mode);
    // Linear tones, so that what the shading leaves shows unchanged.
    SetFloat(SI_PROP_GAMMA, 1.0f);
    SetInt(SI_PROP_DUPLEX, 0);
    SetInt(SI_PROP_X_OFFSET, 0);
    SetInt(SI_PROP_SCAN_WIDTH, IntBounds(SI_PROP_SCAN_WIDTH).second);
    SetInt(SI_PROP_SCAN_LENGTH, static_cast<int32_t>(std::lround(lengthInches * dpi)));
    Page page;
    page.start = SI_StartScan();
    if (page.start != SI_OK) return page;
    page.bytesPerLine = Int(SI_PROP_WIDTH_IN_BYTES);
    std::vector<uint8_t> buffer(static_cast<size_t>(page.bytesPerLine) * 64);
    for (int idle = 0; idle < 20000;) {
        int got = 0;
        const SIResult r = SI_ReadImageData(buffer.data(), 64, 0, &got);
        if (r != SI_OK) break;
        if (got == 0) {
            ++idle;
            continue;
        }
        page.data.insert(page.data.end(), buffer.begin(),
                         buffer.begin() + static_cast<ptrdiff_t>(got) * page.bytesPerLine);
        page.lines += got;
    }
    page.end = SI_EndScan();
    return page;
}

std::vector<double> ColumnMeans(const Page& page, int channels, int channel, int firstRow, int lastRow) {
    const int width = page.bytesPerLine / channels;
    std::vector<double> means(static_cast<size_t>(width), 0.0);
    for (int y = firstRow; y <= lastRow; ++y) {
        const uint8_t* row = page.data.data() + static_cast<size_t>(y) * page.bytesPerLine;
        for (int x = 0; x < width; ++x) means[static_cast<size_t>(x)] += row[x * channels + channel];
    }
    for (double& m : means) m /= std::max(1, lastRow - firstRow + 1);
    return means;
}

Region BrightRegion(const Page& page, int channels, double level, int margin) {
    Region region;
    if (page.lines == 0) return region;
    const std::vector<double> columns = ColumnMeans(page, channels, 0, 0, page.lines - 1);
    const auto first = std::find_if(columns.begin(), columns.end(), [&](double m) { return m > level; });
    const auto last = std::find_if(columns.rbegin(), columns.rend(), [&](double m) { return m > level; });
    if (first == columns.end()) return region;
    region.firstColumn = static_cast<int>(first - columns.begin()) + margin;
    region.lastColumn = static_cast<int>(columns.rend() - last) - 1 - margin;
    const int width = page.bytesPerLine / channels;
    std::vector<double> rows(static_cast<size_t>(page.lines), 0.0);
    for (int y = 0; y < page.lines; ++y) {
        const uint8_t* row = page.data.data() + static_cast<size_t>(y) * page.bytesPerLine;
        for (int x = region.firstColumn; x <= region.lastColumn && x < width; ++x) rows[static_cast<size_t>(y)] += row[x * channels];
        rows[static_cast<size_t>(y)] /= std::max(1, region.lastColumn - region.firstColumn + 1);
    }
    const auto top = std::find_if(rows.begin(), rows.end(), [&](double m) { return m > level; });
    const auto bottom = std::find_if(rows.rbegin(), rows.rend(), [&](double m) { return m > level; });
    if (top == rows.end()) return Region{};
    region.firstRow = static_cast<int>(top - rows.begin()) + margin;
    region.lastRow = static_cast<int>(rows.rend() - bottom) - 1 - margin;
    return region;
}

Flatness MeasureFlatness(const std::vector<double>& columns, int firstColumn, int lastColumn) {
    Flatness f;
    const int n = lastColumn - firstColumn + 1;
    if (n <= 0) return f;
    for (int x = firstColumn; x <= lastColumn; ++x) f.mean += columns[static_cast<size_t>(x)];
    f.mean /= n;
    double var = 0, worst = 0;
    for (int x = firstColumn; x <= lastColumn; ++x) {
        const double d = columns[static_cast<size_t>(x)] - f.mean;
        var += d * d;
        worst = std::max(worst, std::fabs(d));
    }
    f.relativeStdDev = std::sqrt(var / n) / f.mean;
    f.worstRelative = worst / f.mean;
    return f;
}

std::filesystem::path CalibrationDatPath() {
    std::string folder = String(SI_PROP_DATA_DIRECTORY);  // a drive path
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (folder.size() >= 3 && (folder[0] == 'C' || folder[0] == 'c') && folder[1] == ':') folder = folder.substr(3);
    return std::filesystem::path(platform::testing::Root()) / "drives" / "c" / folder / "Calibration.dat";
}

}  // namespace calibtest
