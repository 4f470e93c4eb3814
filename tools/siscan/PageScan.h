// One page scanned through the SI_ interface in the order a front end uses:
// open, set properties (paper-end detection on unless the length is fixed),
// (check the paper, calibrate and eject the calibration sheet,) check the
// paper, start, read each side until its end, end, feed the sheet out (a
// sheet that stays at the sensor is a jam), close; then the sides written as
// PNM files.
#pragma once

#include "ScannerLibrary.h"
#include "SiscanOptions.h"

#include <ostream>

// Returns the program's exit status: 0 when the images were written, 1 on a
// failure, which is reported on `messages` with the result code and its text.
int ScanPage(ScannerLibrary& library, const SiscanOptions& options, std::ostream& messages);
