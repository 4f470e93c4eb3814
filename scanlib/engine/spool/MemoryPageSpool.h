// A page spool in one memory buffer sized for the whole page.
#pragma once

#include "engine/spool/PageSpool.h"

#include <vector>

class MemoryPageSpool : public PageSpool {
public:
    // Throws std::bad_alloc when the buffer cannot be had.
    explicit MemoryPageSpool(size_t pageBytes) : buffer_(pageBytes) {}

    bool Append(std::span<const uint8_t> bytes) override;
    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override;

private:
    std::vector<uint8_t> buffer_;
    size_t written_ = 0;  // worker thread only
};
