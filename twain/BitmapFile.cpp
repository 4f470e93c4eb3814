#include "BitmapFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Pixel data larger than this is refused as no memory.
constexpr uint64_t kLargestImage = uint64_t(1) << 30;

}  // namespace

LoadedBitmap::~LoadedBitmap()
{
    Release();
}

LoadedBitmap::LoadedBitmap(LoadedBitmap&& other) noexcept
{
    *this = std::move(other);
}

LoadedBitmap& LoadedBitmap::operator=(LoadedBitmap&& other) noexcept
{
    if (this != &other) {
        Release();
        status_ = other.status_;
        header_ = std::exchange(other.header_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
        pixelBytes_ = other.pixelBytes_;
        width_ = other.width_;
        height_ = other.height_;
        bits_ = other.bits_;
        dpi_ = other.dpi_;
        other.status_ = kBitmapNoFile;
    }
    return *this;
}

void LoadedBitmap::Release()
{
    if (header_ != nullptr) GlobalFree(header_);
    if (pixels_ != nullptr) GlobalFree(pixels_);
    header_ = nullptr;
    pixels_ = nullptr;
}

LoadedBitmap ParseBitmap(const std::function<uint32_t(uint64_t, std::span<uint8_t>)>& read, uint64_t fileSize)
{
    LoadedBitmap bitmap;
    auto fail = [&](int status) {
        bitmap.Release();
        bitmap.status_ = status;
        return std::move(bitmap);
    };
    fileSize = std::min<uint64_t>(fileSize, 0xFFFFFFFFu);
    uint8_t fileHeader[14];
    if (read(0, fileHeader) != sizeof fileHeader) return fail(kBitmapBadFormat);
    if (!((fileHeader[0] == 'B' && fileHeader[1] == 'M') || (fileHeader[0] == 'C' && fileHeader[1] == 'H'))) {
        return fail(kBitmapBadFormat);
    }
    const uint32_t offBits = Get32(fileHeader + 10);

    bitmap.header_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kBitmapHeaderBlock);
    if (bitmap.header_ == nullptr) return fail(kBitmapNoMemory);
    auto* block = static_cast<uint8_t*>(GlobalLock(bitmap.header_));
    // The headers and palette, never more than the block holds.
    if (offBits < 14 + 12) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadFormat);
    }
    const uint32_t wanted = std::min<uint32_t>(offBits - 14, kBitmapHeaderBlock);
    const uint32_t got = read(14, std::span<uint8_t>(block, wanted));
    const uint32_t headerSize = got >= 4 ? Get32(block) : 0;

    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 0;
    uint32_t compression = 0;
    uint32_t paletteBytes = 0;
    if (headerSize == 12 && got >= 12) {
        // A core header: 16-bit sizes and 3-byte palette entries.
        width = Get16(block + 4);
        height = Get16(block + 6);
        bits = Get16(block + 10);
        std::vector<uint8_t> palette;
        if (bits <= 8) {
            const uint32_t entries = 1u << bits;
            const uint32_t available = (got - 12) / 3;
            palette.assign(block + 12, block + 12 + 3 * std::min(entries, available));
        }
        std::memset(block, 0, kBitmapHeaderBlock);
        Put32(block, 40);
        Put32(block + 4, static_cast<uint32_t>(width));
        Put32(block + 8, static_cast<uint32_t>(height));
        Put16(block + 12, 1);
        Put16(block + 14, bits);
        for (size_t i = 0; i * 3 < palette.size(); ++i) {
            std::memcpy(block + 40 + 4 * i, palette.data() + 3 * i, 3);
        }
    } else if (headerSize == 40 && got >= 40) {
        width = static_cast<int32_t>(Get32(block + 4));
        height = static_cast<int32_t>(Get32(block + 8));
        bits = Get16(block + 14);
        compression = Get32(block + 16);
        paletteBytes = got - 40;
        // Whatever lies past a short palette is not palette.
        const uint32_t used = Get32(block + 32);
        const uint32_t entries = bits <= 8 ? (used != 0 && used < (1u << bits) ? used : (1u << bits)) : 0;
        if (paletteBytes > entries * 4) {
            std::memset(block + 40 + entries * 4, 0, kBitmapHeaderBlock - 40 - entries * 4);
        }
    } else {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadFormat);
    }
    if (offBits < 14 + headerSize) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadFormat);
    }
    if (compression != 0) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapCompressed);
    }
    Put32(block + 20, 0);  // biSizeImage
    if (!(bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 24)) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadDepth);
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadFormat);
    }
    const bool topDown = height < 0;
    const uint32_t rows = static_cast<uint32_t>(topDown ? -static_cast<int64_t>(height) : height);
    const uint64_t rowSize = (uint64_t(static_cast<uint32_t>(width)) * bits + 31) / 32 * 4;
    const uint64_t imageSize = rowSize * rows;
    if (imageSize > kLargestImage) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapNoMemory);
    }
    // A file that lacks more than its last row holds no usable image (and
    // a tiny file never makes the reader allocate a huge one).
    const uint64_t inFile = offBits < fileSize ? fileSize - offBits : 0;
    if (inFile + rowSize < imageSize) {
        GlobalUnlock(bitmap.header_);
        return fail(kBitmapBadFormat);
    }
    // Held bottom up, as the rest of the data source expects.
    Put32(block + 8, rows);
    const int32_t pelsPerMeter = static_cast<int32_t>(Get32(block + 24));
    bitmap.dpi_ = pelsPerMeter > 0 ? static_cast<int32_t>(std::lround(pelsPerMeter * 2.54 / 100.0)) : 0;
    GlobalUnlock(bitmap.header_);

    bitmap.pixels_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(imageSize));
    if (bitmap.pixels_ == nullptr) return fail(kBitmapNoMemory);
    auto* pixels = static_cast<uint8_t*>(GlobalLock(bitmap.pixels_));
    // At most what the image holds; a last row cut short stays blank.
    const auto toRead = static_cast<uint32_t>(std::min(imageSize, inFile));
    if (toRead > 0) read(offBits, std::span<uint8_t>(pixels, toRead));
    if (topDown) {
        std::vector<uint8_t> spare(static_cast<size_t>(rowSize));
        for (uint32_t top = 0, bottom = rows; top + 1 < bottom; ++top, --bottom) {
            uint8_t* a = pixels + top * rowSize;
            uint8_t* b = pixels + (bottom - 1) * rowSize;
            std::memcpy(spare.data(), a, spare.size());
            std::memcpy(a, b, spare.size());
            std::memcpy(b, spare.data(), spare.size());
        }
    }
    GlobalUnlock(bitmap.pixels_);
    bitmap.pixelBytes_ = static_cast<uint32_t>(imageSize);
    bitmap.width_ = width;
    bitmap.height_ = static_cast<int32_t>(rows);
    bitmap.bits_ = bits;
    bitmap.status_ = kBitmapOk;
    return bitmap;
}

LoadedBitmap ParseBitmapBytes(std::span<const uint8_t> bytes)
{
    auto read = [bytes](uint64_t offset, std::span<uint8_t> out) -> uint32_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(out.size(), bytes.size() - static_cast<size_t>(offset));
        std::memcpy(out.data(), bytes.data() + offset, n);
        return static_cast<uint32_t>(n);
    };
    return ParseBitmap(read, bytes.size());
}

LoadedBitmap LoadBitmapFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LoadedBitmap{};
    }
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t size = high != 0 ? 0xFFFFFFFFull : low;
    auto read = [file](uint64_t offset, std::span<uint8_t> out) -> uint32_t {
        if (offset > 0xFFFFFFFFull) return 0;
        LONG offsetHigh = 0;
        if (SetFilePointer(file, static_cast<LONG>(static_cast<uint32_t>(offset)), &offsetHigh, FILE_BEGIN) ==
                INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR) {
            return 0;
        }
        uint32_t done = 0;
        while (done < out.size()) {
            DWORD n = 0;
            if (!ReadFile(file, out.data() + done, static_cast<DWORD>(out.size() - done), &n, nullptr) || n == 0) break;
            done += n;
        }
        return done;
    };
    LoadedBitmap bitmap = ParseBitmap(read, size);
    CloseHandle(file);
    return bitmap;
}
