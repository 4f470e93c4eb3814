// Calibration.dat: the result of a calibration for one scanner model, kept in
// the model's data folder. Little-endian, no padding:
//   "SI", u16 version 3, u16 vendor id, u16 product id   (8 bytes)
//   the front end's block                                 (9 bytes)
//   the controller's block: three u32 exposures, then four shading tables
//   (channels 0, 1, 2, gray), each u32 n and n u32 words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class AnalogFrontEnd;
class CalibrationFile;
class Controller;

inline constexpr char kCalibrationDatName[] = "Calibration.dat";
inline constexpr uint16_t kCalibrationDatVersion = 3;
inline constexpr size_t kCalibrationHeaderSize = 8;
inline constexpr size_t kCalibrationAfeBlockSize = 9;
inline constexpr size_t kCalibrationExposureSize = 12;
inline constexpr size_t kCalibrationTableCount = 4;

// The size of a file whose four tables each hold pixelsPerLine words.
constexpr size_t CalibrationDatSize(size_t pixelsPerLine) {
    return kCalibrationHeaderSize + kCalibrationAfeBlockSize + kCalibrationExposureSize +
           kCalibrationTableCount * (4 + 4 * pixelsPerLine);
}
static_assert(CalibrationDatSize(0) == 45);

// On an open file: true when it starts with "SI", version 3 and the two ids.
bool CheckCalibrationHeader(CalibrationFile& file, uint16_t vendorId, uint16_t productId);

// Builds the header and both chips' blocks in memory, stages them in a
// temporary file in the same folder, then rewrites path. False when any
// write fails; a failed staging leaves the old file as it was.
bool WriteCalibrationDat(const std::string& path, uint16_t vendorId, uint16_t productId, AnalogFrontEnd& frontEnd,
                         Controller& controller);

// Deletes the staging files a calibration that died before its rename left
// beside path. Only a calibration stages there, and calibrations run one at a
// time under the calibration lock: call it holding that lock.
void RemoveStagedCalibrationFiles(const std::string& path);

// Reads the whole file and checks it before the chips see any of it: the
// header must name this device, every table must hold 0 or pixelsPerLine
// words, the file must end right after the last table, and the values must
// be ones a scan can use (a reference voltage the front end accepts, no zero
// exposure, no table of zero gains). Otherwise false, and both chips keep
// their values.
bool LoadCalibrationDat(const std::string& path, uint16_t vendorId, uint16_t productId, uint32_t pixelsPerLine,
                        AnalogFrontEnd& frontEnd, Controller& controller);

// The same checks without loading: whether the file is a calibration this
// device would use.
bool CalibrationDatUsable(const std::string& path, uint16_t vendorId, uint16_t productId, uint32_t pixelsPerLine,
                          AnalogFrontEnd& frontEnd);
