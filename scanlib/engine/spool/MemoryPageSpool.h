// A page spool in one memory buffer sized for the whole page. The buffer of
// the last page is kept for the next one: a front end scanning page after
// page touches its memory once, not once per page.
#pragma once

#include "engine/spool/PageSpool.h"

#include <cstddef>
#include <memory>

class MemoryPageSpool : public PageSpool {
public:
    // The buffer is not cleared: only bytes that were appended are ever read.
    // `capacity` (at least `size`) is what the buffer holds.
    MemoryPageSpool(std::unique_ptr<uint8_t[]> buffer, size_t capacity, size_t size)
        : buffer_(std::move(buffer)), capacity_(capacity), size_(size) {}
    ~MemoryPageSpool() override;
    MemoryPageSpool(const MemoryPageSpool&) = delete;
    MemoryPageSpool& operator=(const MemoryPageSpool&) = delete;

    bool Append(std::span<const uint8_t> bytes) override;
    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_;
    size_t size_;
    size_t written_ = 0;  // worker thread only
};
