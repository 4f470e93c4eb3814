#include "engine/calibration/CalibrationDat.h"

#include "chips/AnalogFrontEnd.h"
#include "chips/Controller.h"
#include "engine/calibration/MemoryCalibrationFile.h"
#include "os/files/FileFunctions.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr uint8_t kMagic[2] = {'S', 'I'};
// Prefix of the temporary file a new Calibration.dat is staged in.
constexpr char kStagingPrefix[] = "SI";

uint16_t U16At(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t U32At(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

std::array<uint8_t, kCalibrationHeaderSize> Header(uint16_t vendorId, uint16_t productId) {
    return {kMagic[0], kMagic[1], static_cast<uint8_t>(kCalibrationDatVersion),
            static_cast<uint8_t>(kCalibrationDatVersion >> 8), static_cast<uint8_t>(vendorId),
            static_cast<uint8_t>(vendorId >> 8), static_cast<uint8_t>(productId),
            static_cast<uint8_t>(productId >> 8)};
}

// The folder part of path, with its separator.
std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

bool ReadAppend(CalibrationFile& file, std::vector<uint8_t>& out, size_t n) {
    const size_t at = out.size();
    out.resize(at + n);
    return file.Read(out.data() + at, static_cast<int>(n));
}

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
    const auto file = CreateCalibrationFile();
    return file->Open(path, kCalibrationFileWrite) && file->Write(bytes.data(), static_cast<int>(bytes.size()));
}

}  // namespace

bool CheckCalibrationHeader(CalibrationFile& file, uint16_t vendorId, uint16_t productId) {
    uint8_t start[4] = {};
    if (!file.Seek(0) || !file.Read(start, sizeof start)) {
        return false;
    }
    if (std::memcmp(start, kMagic, sizeof kMagic) != 0 || U16At(start + 2) != kCalibrationDatVersion) {
        return false;
    }
    uint8_t ids[4] = {};
    return file.Read(ids, sizeof ids) && U16At(ids) == vendorId && U16At(ids + 2) == productId;
}

bool WriteCalibrationDat(const std::string& path, uint16_t vendorId, uint16_t productId, AnalogFrontEnd& frontEnd,
                         Controller& controller) {
    MemoryCalibrationFile image;
    const auto header = Header(vendorId, productId);
    if (!image.Write(header.data(), static_cast<int>(header.size())) || !frontEnd.CalibrationData(&image, true) ||
        !controller.CalibrationData(&image, true)) {
        return false;
    }
    // The whole image goes to a temporary file in the same folder, which then
    // replaces the old file in one step: a full disk or a refused folder
    // leaves the old file as it was, and no reader ever sees half a file.
    char temporary[MAX_PATH] = {};
    if (GetTempFileNameA(FolderOf(path).c_str(), kStagingPrefix, 0, temporary) == 0) {
        return false;
    }
    const bool replaced = WriteWholeFile(temporary, image.Bytes()) &&
                          MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        OSDeleteFile(temporary);
    }
    return replaced;
}

void RemoveStagedCalibrationFiles(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string pattern = folder + kStagingPrefix + "*.tmp";
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            OSDeleteFile((folder + found.cFileName).c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

namespace {

// Values a scan can use: a reference voltage the front end accepts, no
// exposure of zero and no table whose every pixel gain is zero (either
// makes every page black). bytes holds a whole file of the right shape.
bool ValuesUsable(const std::vector<uint8_t>& bytes, AnalogFrontEnd& frontEnd) {
    const int vref = bytes[kCalibrationHeaderSize + kCalibrationAfeBlockSize - 1];
    if (vref < frontEnd.GetReferenceVoltageMin() || vref > frontEnd.GetReferenceVoltageMax()) {
        return false;
    }
    size_t at = kCalibrationHeaderSize + kCalibrationAfeBlockSize;
    for (size_t c = 0; c < 3; ++c, at += 4) {
        if (U32At(bytes.data() + at) == 0) {
            return false;
        }
    }
    for (size_t t = 0; t < kCalibrationTableCount; ++t) {
        const uint32_t count = U32At(bytes.data() + at);
        at += 4;
        bool anyGain = count == 0;
        for (uint32_t i = 0; i < count; ++i, at += 4) {
            anyGain = anyGain || (U32At(bytes.data() + at) >> 16) != 0;
        }
        if (!anyGain) {
            return false;
        }
    }
    return true;
}

// The whole file, when it names this device, has the shape the tables
// announce and holds values a scan can use.
std::optional<std::vector<uint8_t>> ReadCheckedFile(const std::string& path, uint16_t vendorId, uint16_t productId,
                                                    uint32_t pixelsPerLine, AnalogFrontEnd& frontEnd) {
    std::vector<uint8_t> bytes;
    const auto file = CreateCalibrationFile();
    if (!file->Open(path.c_str(), kCalibrationFileRead) || !CheckCalibrationHeader(*file, vendorId, productId)) {
        return std::nullopt;
    }
    const auto header = Header(vendorId, productId);
    bytes.assign(header.begin(), header.end());
    if (!ReadAppend(*file, bytes, kCalibrationAfeBlockSize + kCalibrationExposureSize)) {
        return std::nullopt;
    }
    for (size_t t = 0; t < kCalibrationTableCount; ++t) {
        if (!ReadAppend(*file, bytes, 4)) {
            return std::nullopt;
        }
        const uint32_t count = U32At(bytes.data() + bytes.size() - 4);
        if (count != 0 && count != pixelsPerLine) {
            return std::nullopt;
        }
        if (!ReadAppend(*file, bytes, 4 * static_cast<size_t>(count))) {
            return std::nullopt;
        }
    }
    uint8_t extra = 0;
    if (file->Read(&extra, 1)) {
        return std::nullopt;  // more than the tables announce
    }
    if (!ValuesUsable(bytes, frontEnd)) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

bool CalibrationDatUsable(const std::string& path, uint16_t vendorId, uint16_t productId, uint32_t pixelsPerLine,
                          AnalogFrontEnd& frontEnd) {
    return ReadCheckedFile(path, vendorId, productId, pixelsPerLine, frontEnd).has_value();
}

bool LoadCalibrationDat(const std::string& path, uint16_t vendorId, uint16_t productId, uint32_t pixelsPerLine,
                        AnalogFrontEnd& frontEnd, Controller& controller) {
    std::optional<std::vector<uint8_t>> bytes = ReadCheckedFile(path, vendorId, productId, pixelsPerLine, frontEnd);
    if (!bytes) {
        return false;
    }
    MemoryCalibrationFile image(std::move(*bytes));
    return image.Seek(static_cast<int>(kCalibrationHeaderSize)) && frontEnd.CalibrationData(&image, false) &&
           controller.CalibrationData(&image, false);
}
