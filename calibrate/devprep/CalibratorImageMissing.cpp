// Built while modules carry no resources: there is no calibrator to write
// out, so every calibration is skipped.
#include "CalibratorImage.h"

std::span<const BYTE> CalibratorImage(HMODULE) { return {}; }
