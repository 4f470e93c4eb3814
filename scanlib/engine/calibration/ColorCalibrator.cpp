#include "engine/calibration/ColorCalibrator.h"

int ColorCalibrator::Calibrate(SIProgressCallback) { return SI_ERR_CALIBRATION_FAILED; }
