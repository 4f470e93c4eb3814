// The targets of whole-page transfers: a BMP file on disk, or the global
// memory block of a native transfer, written through one interface so that
// the headers and the rows go the same way into both.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

class PageFile {
public:
    virtual ~PageFile() = default;

    // Makes the file exactly `length` bytes long.
    virtual bool SetLength(uint64_t length) = 0;
    // Writes all of `bytes` at `offset`, growing the file when needed.
    virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // True when a failure was the lack of memory rather than the file's own.
    virtual bool OutOfMemory() const { return false; }
};

// A BMP file; a file that is not finished is deleted with the object.
class DiskPageFile : public PageFile {
public:
    explicit DiskPageFile(std::string path);
    ~DiskPageFile() override;
    DiskPageFile(const DiskPageFile&) = delete;
    DiskPageFile& operator=(const DiskPageFile&) = delete;

    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    bool SetLength(uint64_t length) override;
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    // Keeps the file; false when closing it failed.
    bool Finish();

private:
    std::string path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// A growable file in a global block allocated through the Source Manager's
// memory operations, growing in steps of 1024 bytes. Detaching hands the
// block over; otherwise it is freed with the object.
class GlobalMemoryFile : public PageFile {
public:
    static constexpr uint64_t kGrowBy = 1024;

    GlobalMemoryFile() = default;
    ~GlobalMemoryFile() override;
    GlobalMemoryFile(const GlobalMemoryFile&) = delete;
    GlobalMemoryFile& operator=(const GlobalMemoryFile&) = delete;

    bool SetLength(uint64_t length) override;
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override;
    bool OutOfMemory() const override { return outOfMemory_; }

    uint64_t Length() const { return length_; }
    // Unlocks the block and gives it away; nullptr when there is none.
    HGLOBAL Detach();

private:
    // Moves the contents into a block of `capacity` bytes.
    bool Reallocate(uint64_t capacity);

    HGLOBAL handle_ = nullptr;
    uint8_t* data_ = nullptr;
    uint64_t length_ = 0;
    uint64_t capacity_ = 0;
    bool outOfMemory_ = false;
};

// Writes the headers and palette of a bottom-up DIB at the start of `file`
// and sizes it for `rows` rows: 1 on success, 0 when the file failed, -1
// when memory failed or anything else went wrong.
int WriteDibHeaders(PageFile& file, uint32_t bits, int32_t dpi, uint32_t width, uint32_t rows, bool withFileHeader);
