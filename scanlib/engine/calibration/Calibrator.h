// The calibration procedure's common base: one operation that runs the whole
// calibration and answers with an SI result code.
#pragma once

#include <SIInterface.h>

#include <cstdint>

class ProcessingChain;

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

    // The image-source chain the calibration scans through (not owned).
    // Without one it scans the model directly.
    void UseChain(ProcessingChain* chain) { chain_ = chain; }

protected:
    ProcessingChain* chain_ = nullptr;
    // Set at the start of Calibrate.
    bool duplex_ = false;
    uint16_t pixelsPerLine_ = 0;
};
