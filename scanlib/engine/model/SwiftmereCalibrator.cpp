// Swiftmere: the calibrator it makes and deletes.
#include "engine/calibration/ColorCalibrator.h"
#include "engine/model/Swiftmere.h"

void CalibratorDeleter::operator()(Calibrator* calibrator) const { delete calibrator; }

CalibratorPtr Swiftmere::CreateCalibrator() { return CalibratorPtr(new ColorCalibrator(this)); }
