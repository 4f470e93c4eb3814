#include "PageFiles.h"

#include "DibLayout.h"
#include "SourceManagerBinding.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

bool SeekTo(HANDLE file, uint64_t offset)
{
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

}  // namespace

DiskPageFile::DiskPageFile(std::string path) : path_(std::move(path))
{
    file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

DiskPageFile::~DiskPageFile()
{
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        DeleteFileA(path_.c_str());
    }
}

bool DiskPageFile::SetLength(uint64_t length)
{
    return IsOpen() && SeekTo(file_, length) && SetEndOfFile(file_);
}

bool DiskPageFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes)
{
    if (!IsOpen() || bytes.size() > std::numeric_limits<DWORD>::max() || !SeekTo(file_, offset)) {
        return false;
    }
    DWORD done = 0;
    const auto count = static_cast<DWORD>(bytes.size());
    // A short write is a failed one: the page would miss rows.
    return WriteFile(file_, bytes.data(), count, &done, nullptr) && done == count;
}

bool DiskPageFile::Finish()
{
    if (!IsOpen()) {
        return false;
    }
    const bool closed = CloseHandle(file_) != FALSE;
    file_ = INVALID_HANDLE_VALUE;
    if (!closed) {
        DeleteFileA(path_.c_str());
    }
    return closed;
}

GlobalMemoryFile::~GlobalMemoryFile()
{
    if (handle_ != nullptr) {
        SourceManagerBinding::Unlock(handle_);
        SourceManagerBinding::Free(handle_);
    }
}

bool GlobalMemoryFile::Reallocate(uint64_t capacity)
{
    if (capacity > std::numeric_limits<SIZE_T>::max() || capacity > 0x7FFFFFFF) {
        outOfMemory_ = true;
        return false;
    }
    HGLOBAL handle = SourceManagerBinding::Allocate(static_cast<SIZE_T>(capacity));
    auto* data = handle != nullptr ? static_cast<uint8_t*>(SourceManagerBinding::Lock(handle)) : nullptr;
    if (data == nullptr) {
        if (handle != nullptr) SourceManagerBinding::Free(handle);
        outOfMemory_ = true;
        return false;
    }
    if (handle_ != nullptr) {
        std::memcpy(data, data_, static_cast<size_t>(std::min(length_, capacity)));
        SourceManagerBinding::Unlock(handle_);
        SourceManagerBinding::Free(handle_);
    }
    handle_ = handle;
    data_ = data;
    capacity_ = capacity;
    return true;
}

bool GlobalMemoryFile::SetLength(uint64_t length)
{
    // A file sized up front takes exactly its size.
    if (length != capacity_ && !Reallocate(length)) {
        return false;
    }
    length_ = length;
    return true;
}

bool GlobalMemoryFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes)
{
    const uint64_t end = offset + bytes.size();
    if (end > capacity_ && !Reallocate((end + kGrowBy - 1) / kGrowBy * kGrowBy)) {
        return false;
    }
    if (!bytes.empty()) {
        std::memcpy(data_ + static_cast<size_t>(offset), bytes.data(), bytes.size());
    }
    length_ = std::max(length_, end);
    return true;
}

HGLOBAL GlobalMemoryFile::Detach()
{
    HGLOBAL handle = handle_;
    if (handle != nullptr) {
        SourceManagerBinding::Unlock(handle);
    }
    handle_ = nullptr;
    data_ = nullptr;
    length_ = capacity_ = 0;
    return handle;
}

int WriteDibHeaders(PageFile& file, uint32_t bits, int32_t dpi, uint32_t width, uint32_t rows, bool withFileHeader)
{
    std::vector<uint8_t> headers;
    try {
        headers = DibHeaders(bits, dpi, width, rows, withFileHeader);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const uint64_t length = headers.size() + uint64_t(rows) * DibRowSize(bits, width);
    if (length > 0x7FFFFFFF) {
        return -1;
    }
    if (!file.WriteAt(0, headers) || !file.SetLength(length)) {
        return file.OutOfMemory() ? -1 : 0;
    }
    return 1;
}
