#include "engine/spool/MemoryPageSpool.h"

#include <cstring>
#include <limits>
#include <new>

std::unique_ptr<PageSpool> CreateMemorySpool(uint64_t pageBytes) {
    if (pageBytes > std::numeric_limits<size_t>::max() || pageBytes > std::vector<uint8_t>().max_size()) return nullptr;
    try {
        return std::make_unique<MemoryPageSpool>(static_cast<size_t>(pageBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
}

bool MemoryPageSpool::Append(std::span<const uint8_t> bytes) {
    if (bytes.size() > buffer_.size() - written_) return false;
    if (!bytes.empty()) std::memcpy(buffer_.data() + written_, bytes.data(), bytes.size());
    written_ += bytes.size();
    return true;
}

bool MemoryPageSpool::ReadAt(uint64_t offset, std::span<uint8_t> out) {
    if (offset > buffer_.size() || out.size() > buffer_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), buffer_.data() + offset, out.size());
    return true;
}
