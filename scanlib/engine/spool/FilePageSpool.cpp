#include "engine/spool/FilePageSpool.h"

#include "os/files/FileFunctions.h"

#include <algorithm>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Largest single transfer handed to one ReadFile / WriteFile call.
constexpr size_t kMaxTransfer = 1u << 30;

}  // namespace

std::unique_ptr<PageSpool> CreateFileSpool() {
    auto spool = std::make_unique<FilePageSpool>();
    if (!spool->Open()) return nullptr;
    return spool;
}

FilePageSpool::~FilePageSpool() { Close(); }

bool FilePageSpool::Open() {
    if (!MakeTempFileName(path_)) {
        path_.clear();
        return false;
    }
    // The writer deletes the file when its last handle closes, so that no
    // spool outlives the process, even one that is killed. The file may lose
    // its name as soon as that open returns: the reader is opened first.
    reader_ = CreateFileA(path_.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (reader_ != INVALID_HANDLE_VALUE) {
        writer_ = CreateFileA(path_.c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    if (writer_ == INVALID_HANDLE_VALUE) {
        Close();
        return false;
    }
    // The name is no longer ours: another temporary file may take it.
    path_.clear();
    return true;
}

void FilePageSpool::Close() {
    if (writer_ != INVALID_HANDLE_VALUE) CloseHandle(writer_);
    if (reader_ != INVALID_HANDLE_VALUE) CloseHandle(reader_);
    writer_ = reader_ = INVALID_HANDLE_VALUE;
    if (!path_.empty()) OSDeleteFile(path_.c_str());
    path_.clear();
}

bool FilePageSpool::Append(std::span<const uint8_t> bytes) {
    if (writer_ == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
        DWORD written = 0;
        if (!WriteFile(writer_, bytes.data(), want, &written, nullptr) || written != want) return false;
        bytes = bytes.subspan(written);
    }
    return true;
}

bool FilePageSpool::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    if (reader_ == INVALID_HANDLE_VALUE) return false;
    LONG high = static_cast<LONG>(offset >> 32);
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(reader_, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    while (!out.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(out.size(), kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(reader_, out.data(), want, &got, nullptr) || got != want) return false;
        out = out.subspan(got);
    }
    return true;
}
