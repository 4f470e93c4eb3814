#include "DeviceRates.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int32_t, 8> kColumns{75, 100, 150, 200, 300, 400, 500, 600};

// Scan rates (inches per second) of the table-driven family on external
// power, rows line art, gray, colour; the second table applies when the scan
// window reaches into the second half of the line.
constexpr std::array<std::array<std::array<double, 8>, 3>, 2> kTableRates{{
    {{{2.8205, 2.8205, 2.3913, 1.8333, 1.2222, 0.7857, 0.6471, 0.55},
      {2.8205, 2.8205, 2.3913, 1.8333, 1.2222, 0.7857, 0.6471, 0.55},
      {1.1224, 1.1224, 0.7483, 0.5789, 0.3691, 0.2973, 0.2444, 0.1864}}},
    {{{1.6912, 1.6912, 1.15, 0.8846, 0.575, 0.4423, 0.371, 0.3026},
      {1.6429, 1.6429, 1.15, 0.8846, 0.575, 0.4423, 0.371, 0.3026},
      {0.575, 0.575, 0.4107, 0.3026, 0.2091, 0.1554, 0.125, 0.1045}}},
}};

// The families that compute their rate: 2,000,000 / ((pixels + extra) x dpi),
// a third of it in colour, capped.
struct ComputedFamily {
    int32_t sensorDpi;
    int32_t pixels;  // sensor pixels plus dummy pixels
    int32_t narrowExtra;
    double cap;  // on external power
};

constexpr std::array<ComputedFamily, 3> kComputed{{
    {300, 2592 + 82, 40, 2.6},    // 300-dpi sensor
    {600, 2496 + 22, 2600, 2.396},  // 600-dpi sensor, GL841 board
    {600, 2592 + 82, 2600, 2.396},  // 600-dpi sensor, GL125 board
}};

double TableRate(int32_t mode, int32_t dpi, bool wide)
{
    const auto column = std::find(kColumns.begin(), kColumns.end(), dpi);
    const size_t c = column == kColumns.end() ? 0 : static_cast<size_t>(column - kColumns.begin());
    return kTableRates[wide ? 1 : 0][static_cast<size_t>(mode)][c];
}

double ComputedRate(const ComputedFamily& family, int32_t mode, int32_t dpi, bool wide)
{
    const int32_t extra = std::max(family.narrowExtra, wide ? family.pixels : 0);
    double rate = 2000000.0 / (static_cast<double>(family.pixels + extra) * dpi);
    if (mode == 2) {
        rate /= 3;
    }
    return std::min(rate, family.cap);
}

}  // namespace

double FastestDeviceLineRate(const ScanCase& scan)
{
    double best = 0;
    auto consider = [&](int32_t sensorDpi, double inchesPerSecond) {
        if (sensorDpi != scan.sensorDpi) {
            return;
        }
        const int32_t scanned = std::min(scan.resolution, sensorDpi);
        const double linesPerScannedLine = static_cast<double>(scan.resolution) / scanned;
        best = std::max(best, inchesPerSecond * scanned * linesPerScannedLine);
    };
    consider(600, TableRate(scan.colorMode, scan.resolution, scan.duplex));
    for (const ComputedFamily& family : kComputed) {
        const int32_t scanned = std::min(scan.resolution, family.sensorDpi);
        consider(family.sensorDpi, ComputedRate(family, scan.colorMode, scanned, scan.duplex));
    }
    return best;
}
