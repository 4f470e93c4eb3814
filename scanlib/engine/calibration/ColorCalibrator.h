// The calibrator of the colour CIS scanners: reference voltage, offsets,
// gains and exposures of the front end, then per-pixel dark offsets and
// white gains, written to Calibration.dat.
#pragma once

#include "engine/calibration/Calibrator.h"

class Scanner;

class ColorCalibrator : public Calibrator {
public:
    explicit ColorCalibrator(Scanner* scanner) : scanner_(scanner) {}

    int Calibrate(SIProgressCallback progress) override;

private:
    Scanner* scanner_;
};
