// A calibration file held in memory: the whole image of Calibration.dat is
// built or checked here before anything reaches the disk or the chips.
#pragma once

#include "os/files/CalibrationFile.h"

#include <cstdint>
#include <vector>

class MemoryCalibrationFile : public CalibrationFile {
public:
    MemoryCalibrationFile() = default;
    explicit MemoryCalibrationFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    // Opens the held bytes; write mode empties them first.
    bool Open(const char* path, int mode) override;
    void Close() override { open_ = false; }
    bool Write(const void* data, int n) override;
    bool Read(void* data, int n) override;
    bool Seek(int offset) override;
    bool IsOpen() override { return open_; }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    size_t Position() const { return position_; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    bool open_ = true;
};
