// What the calibration tests share: plain test sheets, whole-page scans
// through the SI functions, the calibration file on the emulated disk and
// the flatness of a scanned sheet.
#pragma once

#include <SIInterface.h>

#include "../sisupport/SIClient.h"

#include <emulator/VirtualScanner.h>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace calibtest {

// The emulator switches of the calibration tests.
// (DeviceTest::Serve adds what this host needs.)
inline emulator::SwitchOverrides CalibrationSwitches() { return {{"speed", "4"}}; }

// A calibration takes minutes on a slow host: the tests that run several
// leave them to the native builds.
#define SKIP_ON_SLOW_HOST()                                                   \
    do {                                                                      \
        if (::siclient::SlowHost()) GTEST_SKIP() << "several calibrations"; \
    } while (0)

// A uniform sheet at 600 dpi (P5, maxval 255) of the given sample value.
std::filesystem::path WriteFlatSheet(const char* name, double widthInches, double lengthInches, uint8_t value);

// One side of a page: the lines as read, and the bytes per line.
struct Page {
    SIResult start = 0;
    SIResult end = 0;
    int bytesPerLine = 0;
    int lines = 0;
    std::vector<uint8_t> data;
};

// Configures a simplex page at dpi in mode (1 gray, 2 colour), linear
// tones, over the whole sensor width and the given length, then scans it.
Page ScanFlatPage(int dpi, int mode, double lengthInches);

// Column means of one channel of a page, over the rows given.
std::vector<double> ColumnMeans(const Page& page, int channels, int channel, int firstRow, int lastRow);

// The part of a page that lies on the sheet: the columns whose mean is
// above the level, shrunk by a margin, and the rows likewise.
struct Region {
    int firstColumn = 0, lastColumn = -1, firstRow = 0, lastRow = -1;
    bool Empty() const { return lastColumn < firstColumn || lastRow < firstRow; }
};
Region BrightRegion(const Page& page, int channels, double level, int margin);

struct Flatness {
    double mean = 0;
    double relativeStdDev = 0;  // of the column means, to their mean
    double worstRelative = 0;   // the largest column deviation, to the mean
};
Flatness MeasureFlatness(const std::vector<double>& columns, int firstColumn, int lastColumn);

// Calibration.dat on the emulated disk (the model's data folder).
std::filesystem::path CalibrationDatPath();

}  // namespace calibtest
