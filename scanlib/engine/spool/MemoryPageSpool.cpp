#include "engine/spool/MemoryPageSpool.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <new>

namespace {

// The buffer of the last page, kept for the next. At namespace scope: the
// detach path may still end a spool.
struct KeptBuffer {
    std::mutex lock;
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
};
KeptBuffer g_kept;

}  // namespace

std::unique_ptr<PageSpool> CreateMemorySpool(uint64_t pageBytes) {
    if (pageBytes > std::numeric_limits<size_t>::max() / 2) return nullptr;
    const auto size = static_cast<size_t>(pageBytes);
    {
        std::lock_guard guard(g_kept.lock);
        if (g_kept.buffer && g_kept.capacity >= size) {
            const size_t capacity = g_kept.capacity;
            g_kept.capacity = 0;
            return std::make_unique<MemoryPageSpool>(std::move(g_kept.buffer), capacity, size);
        }
        // Too small for this page: let it go before the larger one is made.
        g_kept.buffer.reset();
        g_kept.capacity = 0;
    }
    const size_t capacity = size == 0 ? 1 : size;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity]);
    if (!buffer) return nullptr;
    return std::make_unique<MemoryPageSpool>(std::move(buffer), capacity, size);
}

MemoryPageSpool::~MemoryPageSpool() {
    std::lock_guard guard(g_kept.lock);
    if (capacity_ > g_kept.capacity) {
        g_kept.buffer = std::move(buffer_);
        g_kept.capacity = capacity_;
    }
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
