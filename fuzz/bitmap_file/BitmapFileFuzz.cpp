// Fuzz target: the data source's .bmp reader, given any bytes as a file.
// A loaded image must hold exactly the pixels its header promises.
#include "BitmapFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const LoadedBitmap bitmap = ParseBitmapBytes(std::span<const uint8_t>(data, size));
    if (bitmap.Status() != kBitmapOk) {
        if (bitmap.Pixels() != nullptr || bitmap.Header() != nullptr) std::abort();
        return 0;
    }
    const uint64_t rowSize = (uint64_t(bitmap.Width()) * bitmap.BitCount() + 31) / 32 * 4;
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0 || rowSize * uint64_t(bitmap.Height()) != bitmap.PixelBytes() ||
        GlobalSize(bitmap.Pixels()) < bitmap.PixelBytes() || GlobalSize(bitmap.Header()) != kBitmapHeaderBlock) {
        std::abort();
    }
    // Every pixel byte is readable.
    const auto* pixels = static_cast<const volatile uint8_t*>(GlobalLock(bitmap.Pixels()));
    uint8_t sum = 0;
    for (uint32_t i = 0; i < bitmap.PixelBytes(); i += 97) sum = static_cast<uint8_t>(sum + pixels[i]);
    GlobalUnlock(bitmap.Pixels());
    // Never true: keeps the reads.
    return sum == 1 && bitmap.PixelBytes() == 0 ? 1 : 0;
}
