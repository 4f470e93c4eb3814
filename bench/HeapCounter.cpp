#include "HeapCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> current{0};
std::atomic<size_t> peak{0};

// Each block carries its size in front of it, kept at the strictest alignment.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size)
{
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) {
        throw std::bad_alloc();
    }
    *reinterpret_cast<size_t*>(block) = size;
    const size_t now = current.fetch_add(size, std::memory_order_relaxed) + size;
    size_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
    return block + kHeader;
}

void Release(void* pointer) noexcept
{
    if (!pointer) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    current.fetch_sub(*reinterpret_cast<size_t*>(block), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

namespace heap {

size_t CurrentBytes() { return current.load(); }
void ResetPeak() { peak.store(current.load()); }
size_t PeakBytes() { return peak.load(); }

}  // namespace heap

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }
