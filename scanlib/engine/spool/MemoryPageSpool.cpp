#include "engine/spool/MemoryPageSpool.h"

#include <cstring>
#include <limits>
#include <new>

std::unique_ptr<PageSpool> CreateMemorySpool(uint64_t pageBytes) {
    if (pageBytes > std::numeric_limits<size_t>::max() / 2) return nullptr;
    const auto size = static_cast<size_t>(pageBytes);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
    if (!buffer) return nullptr;
    return std::make_unique<MemoryPageSpool>(std::move(buffer), size);
}

bool MemoryPageSpool::Append(std::span<const uint8_t> bytes) {
    if (bytes.size() > size_ - written_) return false;
    if (!bytes.empty()) std::memcpy(buffer_.get() + written_, bytes.data(), bytes.size());
    written_ += bytes.size();
    return true;
}

bool MemoryPageSpool::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), buffer_.get() + offset, out.size());
    return true;
}
