#include "os/files/CalibrationFile.h"

#include <array>

namespace {

struct OpenMode {
    DWORD access;
    DWORD sharing;
    DWORD disposition;
};

// Indexed by mode & 3; mode 0 opens nothing.
constexpr std::array<OpenMode, 4> kOpenModes{{
    {0, 0, 0},
    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING},
    {GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS},
    {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING},
}};

}  // namespace

CalibrationFileWin::~CalibrationFileWin() { Close(); }

bool CalibrationFileWin::Open(const char* path, int mode) {
    Close();
    const OpenMode& m = kOpenModes[static_cast<unsigned>(mode) & 3u];
    if (path == nullptr || m.access == 0) {
        return false;
    }
    handle_ = CreateFileA(path, m.access, m.sharing, nullptr, m.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle_ != INVALID_HANDLE_VALUE;
}

void CalibrationFileWin::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool CalibrationFileWin::Write(const void* data, int n) {
    if (data == nullptr || n < 0 || handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    DWORD written = 0;
    return WriteFile(handle_, data, static_cast<DWORD>(n), &written, nullptr) && written == static_cast<DWORD>(n);
}

bool CalibrationFileWin::Read(void* data, int n) {
    if (data == nullptr || n < 0 || handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    DWORD got = 0;
    return ReadFile(handle_, data, static_cast<DWORD>(n), &got, nullptr) && got == static_cast<DWORD>(n);
}

bool CalibrationFileWin::Seek(int offset) {
    if (handle_ == INVALID_HANDLE_VALUE || offset < 0) {
        return false;
    }
    return SetFilePointer(handle_, offset, nullptr, FILE_BEGIN) == static_cast<DWORD>(offset);
}

bool CalibrationFileWin::IsOpen() { return handle_ != INVALID_HANDLE_VALUE; }

std::unique_ptr<CalibrationFile> CreateCalibrationFile() { return std::make_unique<CalibrationFileWin>(); }
