// A page spool in one memory buffer sized for the whole page.
#pragma once

#include "engine/spool/PageSpool.h"

#include <cstddef>
#include <memory>

class MemoryPageSpool : public PageSpool {
public:
    // The buffer is not cleared: only bytes that were appended are ever read.
    MemoryPageSpool(std::unique_ptr<uint8_t[]> buffer, size_t size) : buffer_(std::move(buffer)), size_(size) {}

    bool Append(std::span<const uint8_t> bytes) override;
    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::unique_ptr<uint8_t[]> buffer_;
    size_t size_;
    size_t written_ = 0;  // worker thread only
};
