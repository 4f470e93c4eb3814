// The calibration procedure's common base: one operation that runs the whole
// calibration and answers with an SI result code.
#pragma once

#include <SIInterface.h>

#include <cstdint>

class Calibrator {
public:
    Calibrator() = default;
    Calibrator(const Calibrator&) = delete;
    Calibrator& operator=(const Calibrator&) = delete;
    virtual ~Calibrator() = default;

    // Runs the calibration. The callback (may be null) gets the percentage
    // done; an answer of 0 cancels. Results: 0, SI_ERR_CALIBRATION_FILE,
    // SI_ERR_CALIBRATION_FAILED, SI_ERR_CANCELLED, SI_CALIBRATED_WHITE_ONLY.
    // Device exceptions propagate.
    virtual int Calibrate(SIProgressCallback progress) = 0;

protected:
    // Set at the start of Calibrate.
    bool duplex_ = false;
    uint16_t pixelsPerLine_ = 0;
};
