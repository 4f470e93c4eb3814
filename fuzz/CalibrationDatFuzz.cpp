// Calibration.dat as the scanner's open and SI_IsCalibrated read it: any
// bytes in the model's data folder, loaded into a front end and a GL841.
#include "chips/CISModule.h"
#include "chips/GL841.h"
#include "chips/WM8199.h"
#include "engine/calibration/CalibrationDat.h"
#include "os/files/CalibrationFile.h"
#include "os/files/FileFunctions.h"

#include <platform/testing.h>

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

constexpr uint16_t kVendor = 0x17C4;
constexpr uint16_t kProduct = 0x00F1;
constexpr uint32_t kPixels = 8;  // small tables, so whole files are easy to reach
constexpr std::array<float, 3> kLineRates{1000.0f, 1000.0f, 1000.0f};

std::string& DatPath() {
    static std::string path;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static platform::testing::ScopedRoot root;
    char folder[MAX_PATH] = {};
    if (!GetDataDirectory(0, "Tessaline", "RM410", folder)) return 1;
    DatPath() = std::string(folder) + kCalibrationDatName;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    {
        const std::unique_ptr<CalibrationFile> file = CreateCalibrationFile();
        if (!file->Open(DatPath().c_str(), kCalibrationFileWrite)) return 0;
        if (!file->Write(data, static_cast<int>(size))) return 0;
    }
    CM651 module;
    WM8199GL frontEnd;
    GL841 controller(&frontEnd, nullptr, false);
    controller.SetCisModule(&module, 2, kLineRates);
    const bool usable = CalibrationDatUsable(DatPath(), kVendor, kProduct, kPixels, frontEnd);
    const bool loaded = LoadCalibrationDat(DatPath(), kVendor, kProduct, kPixels, frontEnd, controller);
    if (usable != loaded) __builtin_trap();  // the check and the load must agree
    return 0;
}
