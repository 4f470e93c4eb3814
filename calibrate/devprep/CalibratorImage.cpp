#include "CalibratorImage.h"

std::span<const BYTE> CalibratorImage(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kCalibratorResource), kCalibratorResourceType);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return {};
    const void* data = LockResource(loaded);
    const DWORD size = SizeofResource(module, found);
    if (data == nullptr || size == 0) return {};
    return {static_cast<const BYTE*>(data), size};
}
