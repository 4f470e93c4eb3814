// Absolute security descriptors and local memory.
#include "core/Controls.h"

#include <winbase.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace platform {
namespace {

struct LocalBlocks {
    std::mutex lock;
    std::unordered_set<void*> blocks;
};

LocalBlocks& Blocks() {
    static LocalBlocks* blocks = new LocalBlocks;
    return *blocks;
}

}  // namespace
}  // namespace platform

WINBASEAPI BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    if (platform::FailNow("InitializeSecurityDescriptor")) return FALSE;
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    if (pSecurityDescriptor == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    *sd = SECURITY_DESCRIPTOR{};
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

WINBASEAPI BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent,
                                                 PACL pDacl, BOOL bDaclDefaulted) {
    if (platform::FailNow("SetSecurityDescriptorDacl")) return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(sd == nullptr ? ERROR_INVALID_PARAMETER : ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    sd->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (bDaclPresent) {
        sd->Control |= SE_DACL_PRESENT;
        if (bDaclDefaulted) sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = pDacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}

WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (platform::FailNow("LocalAlloc")) return nullptr;
    void* block = (uFlags & LMEM_ZEROINIT) ? std::calloc(uBytes ? uBytes : 1, 1) : std::malloc(uBytes ? uBytes : 1);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto& blocks = platform::Blocks();
    std::lock_guard guard(blocks.lock);
    blocks.blocks.insert(block);
    return block;
}

WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem == nullptr) return nullptr;
    if (platform::FailNow("LocalFree")) return hMem;
    {
        auto& blocks = platform::Blocks();
        std::lock_guard guard(blocks.lock);
        if (blocks.blocks.erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    std::free(hMem);
    return nullptr;
}
