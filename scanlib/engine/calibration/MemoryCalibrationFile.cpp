#include "engine/calibration/MemoryCalibrationFile.h"

#include <cstring>

bool MemoryCalibrationFile::Open(const char* /*path*/, int mode) {
    const int m = mode & 3;
    if (m == kCalibrationFileNone) {
        open_ = false;
        return false;
    }
    if (m == kCalibrationFileWrite) {
        bytes_.clear();
    }
    position_ = 0;
    open_ = true;
    return true;
}

bool MemoryCalibrationFile::Write(const void* data, int n) {
    if (data == nullptr || n < 0 || !open_) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    const size_t end = position_ + static_cast<size_t>(n);
    if (end > bytes_.size()) {
        bytes_.resize(end);
    }
    std::memcpy(bytes_.data() + position_, p, static_cast<size_t>(n));
    position_ = end;
    return true;
}

bool MemoryCalibrationFile::Read(void* data, int n) {
    if (data == nullptr || n < 0 || !open_) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    if (bytes_.size() - position_ < static_cast<size_t>(n)) {
        return false;
    }
    std::memcpy(data, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += static_cast<size_t>(n);
    return true;
}

bool MemoryCalibrationFile::Seek(int offset) {
    if (!open_ || offset < 0 || static_cast<size_t>(offset) > bytes_.size()) {
        return false;
    }
    position_ = static_cast<size_t>(offset);
    return true;
}
