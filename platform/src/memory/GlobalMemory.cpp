// Global memory: a handle is the address of a calloc'd block, so a block
// that another module frees with free() or locks by identity is ours too.
// Sizes and lock counts are kept beside the blocks; a foreign block that we
// never allocated is accepted with the size the C library knows for it.
#include "core/Controls.h"

#include <windows.h>
#include <platform/testing.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct BlockInfo {
    SIZE_T size = 0;
    UINT locks = 0;
};

struct GlobalBlocks {
    std::mutex lock;
    std::unordered_map<void*, BlockInfo> blocks;
};

// Never destroyed: modules free blocks during exit.
GlobalBlocks& Blocks() {
    static auto* blocks = new GlobalBlocks;
    return *blocks;
}

}  // namespace
}  // namespace platform

using platform::Blocks;

WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT, SIZE_T dwBytes) {
    if (platform::FailNow("GlobalAlloc")) return nullptr;
    // Always zeroed: GMEM_ZEROINIT costs nothing extra with calloc.
    void* block = std::calloc(dwBytes == 0 ? 1 : dwBytes, 1);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    blocks.blocks[block] = {dwBytes, 0};
    return block;
}

WINBASEAPI HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    if (platform::FailNow("GlobalReAlloc")) return nullptr;
    if (hMem == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    auto found = blocks.blocks.find(hMem);
    const SIZE_T oldSize = found != blocks.blocks.end() ? found->second.size : malloc_usable_size(hMem);
    const UINT locks = found != blocks.blocks.end() ? found->second.locks : 0;
    void* block = std::realloc(hMem, dwBytes == 0 ? 1 : dwBytes);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((uFlags & GMEM_ZEROINIT) != 0 && dwBytes > oldSize) {
        std::memset(static_cast<char*>(block) + oldSize, 0, dwBytes - oldSize);
    }
    if (found != blocks.blocks.end()) blocks.blocks.erase(found);
    blocks.blocks[block] = {dwBytes, locks};
    return block;
}

WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    if (hMem == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    auto found = blocks.blocks.find(hMem);
    if (found != blocks.blocks.end()) ++found->second.locks;
    return hMem;
}

WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    auto found = blocks.blocks.find(hMem);
    if (found == blocks.blocks.end() || found->second.locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--found->second.locks > 0) return TRUE;
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    if (hMem == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    auto found = blocks.blocks.find(hMem);
    return found != blocks.blocks.end() ? found->second.size : malloc_usable_size(hMem);
}

WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (hMem == nullptr) return nullptr;
    {
        auto& blocks = Blocks();
        std::lock_guard guard(blocks.lock);
        blocks.blocks.erase(hMem);
    }
    std::free(hMem);
    return nullptr;
}

size_t platform::testing::LiveGlobalBlocks() {
    auto& blocks = Blocks();
    std::lock_guard guard(blocks.lock);
    return blocks.blocks.size();
}
