// Reading .bmp files into global memory: a 1064-byte block with the info
// header and up to 256 palette entries, and a block with the pixels, bottom
// up. Every field of the file is checked; a file that cannot be used loads
// as no image.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <span>

// Results of loading: 0 image, 1 no memory, 2 no file, 3 not a usable
// bitmap, 4 compressed, 5 a bit count other than 1, 2, 4, 8 or 24.
enum BitmapStatus : int {
    kBitmapOk = 0,
    kBitmapNoMemory = 1,
    kBitmapNoFile = 2,
    kBitmapBadFormat = 3,
    kBitmapCompressed = 4,
    kBitmapBadDepth = 5,
};

inline constexpr uint32_t kBitmapHeaderBlock = 40 + 256 * 4;

class LoadedBitmap {
public:
    LoadedBitmap() = default;
    ~LoadedBitmap();
    LoadedBitmap(LoadedBitmap&& other) noexcept;
    LoadedBitmap& operator=(LoadedBitmap&& other) noexcept;
    LoadedBitmap(const LoadedBitmap&) = delete;
    LoadedBitmap& operator=(const LoadedBitmap&) = delete;

    int Status() const { return status_; }
    // The info header and palette (kBitmapHeaderBlock bytes) and the pixels.
    HGLOBAL Header() const { return header_; }
    HGLOBAL Pixels() const { return pixels_; }
    uint32_t PixelBytes() const { return pixelBytes_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    uint16_t BitCount() const { return bits_; }
    // Dots per inch from the horizontal pixels per metre, rounded.
    int32_t Resolution() const { return dpi_; }

private:
    friend LoadedBitmap ParseBitmap(const std::function<uint32_t(uint64_t, std::span<uint8_t>)>& read,
                                    uint64_t fileSize);
    void Release();

    int status_ = kBitmapNoFile;
    HGLOBAL header_ = nullptr;
    HGLOBAL pixels_ = nullptr;
    uint32_t pixelBytes_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint16_t bits_ = 0;
    int32_t dpi_ = 0;
};

// From a reader of (offset, bytes) that answers the count it read.
LoadedBitmap ParseBitmap(const std::function<uint32_t(uint64_t, std::span<uint8_t>)>& read, uint64_t fileSize);
LoadedBitmap ParseBitmapBytes(std::span<const uint8_t> bytes);
LoadedBitmap LoadBitmapFile(const char* path);
