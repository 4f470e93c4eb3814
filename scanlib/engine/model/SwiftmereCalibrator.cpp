// Swiftmere: the calibrator it makes and deletes.
#include "engine/model/Swiftmere.h"

#include <type_traits>

#if __has_include("engine/calibration/ColorCalibrator.h")
#include "engine/calibration/ColorCalibrator.h"
#define PELIDOR_MODEL_HAS_CALIBRATOR 1
#endif

#ifdef PELIDOR_MODEL_HAS_CALIBRATOR

namespace {

// The colour calibrator works on the model it belongs to.
template <typename T>
CalibratorPtr MakeCalibrator(Swiftmere& model) {
    if constexpr (std::is_constructible_v<T, Scanner*>) {
        return CalibratorPtr(new T(&model));
    } else if constexpr (std::is_constructible_v<T, Scanner&>) {
        return CalibratorPtr(new T(model));
    } else if constexpr (std::is_constructible_v<T, Swiftmere*>) {
        return CalibratorPtr(new T(&model));
    } else {
        return CalibratorPtr(new T());
    }
}

}  // namespace

void CalibratorDeleter::operator()(Calibrator* calibrator) const { delete calibrator; }

CalibratorPtr Swiftmere::CreateCalibrator() { return MakeCalibrator<ColorCalibrator>(*this); }

bool Swiftmere::CalibratorBuilt() { return true; }

#else

// No calibrator class in this build: none is ever made.
void CalibratorDeleter::operator()(Calibrator*) const {}

CalibratorPtr Swiftmere::CreateCalibrator() { return nullptr; }

bool Swiftmere::CalibratorBuilt() { return false; }

#endif
