// The fastest line rate that any scanner model delivers for a scan, from the
// models' rate tables and rate formulas at their best (external power). The
// benchmark compares the chain's rate with it.
#pragma once

#include <cstdint>

struct ScanCase {
    int32_t sensorDpi;   // the models' sensors: 600, or 300 (doubled by the Scaler)
    int32_t colorMode;   // 0 line art, 1 gray, 2 colour
    int32_t resolution;  // delivered dpi
    bool duplex;         // the scan window spans both sensors
};

// Delivered lines per second of one side, the best of the models with that
// sensor: the 600-dpi models scan at the delivered resolution; the 300-dpi
// model scans at most at 300 dpi, and each scanned line gives two at 600.
double FastestDeviceLineRate(const ScanCase& scan);
