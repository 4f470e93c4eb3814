#include "os/files/FileTime.h"

#include <windows.h>

bool FileTimeWin::Equals(const FileTime& other) const { return time_ == other.Value(); }

bool FileTimeWin::Load(const char* path) {
    if (path == nullptr) {
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        return false;
    }
    time_ = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

void FileTimeWin::Assign(const FileTime& other) { time_ = other.Value(); }

std::unique_ptr<FileTime> CreateFileTime() { return std::make_unique<FileTimeWin>(); }
