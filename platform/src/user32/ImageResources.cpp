// Bitmaps and cursors of a module's resources: LoadBitmapA/LoadImageA make
// a bitmap from an RT_BITMAP resource (or a .bmp file), LoadCursorA finds a
// cursor resource. Cursors are not drawn: the handle names the resource.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// A bitmap from a packed DIB: the header, its colours and the pixels.
HBITMAP FromPackedDib(const uint8_t* dib, size_t size) {
    if (dib == nullptr || size < sizeof(BITMAPINFOHEADER)) return nullptr;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0) return nullptr;
    const int bits = header.biBitCount;
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return nullptr;
    size_t colours = header.biClrUsed ? header.biClrUsed : (bits <= 8 ? (1u << bits) : 0);
    size_t offset = header.biSize + colours * sizeof(RGBQUAD);
    if (header.biCompression == 3 && header.biSize == sizeof(BITMAPINFOHEADER)) offset += 12;  // BI_BITFIELDS masks
    const int width = header.biWidth, height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (offset + stride * static_cast<size_t>(height) > size) return nullptr;
    // The header with a full colour table, as StretchDIBits reads it.
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    std::memcpy(info.data(), &header, sizeof header);
    reinterpret_cast<BITMAPINFOHEADER*>(info.data())->biSize = sizeof(BITMAPINFOHEADER);
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), dib + header.biSize,
                std::min<size_t>(colours, 256) * sizeof(RGBQUAD));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    StretchDIBits(memory, 0, 0, width, height, 0, 0, width, height, dib + offset,
                  reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

HBITMAP BitmapResource(HINSTANCE instance, LPCSTR name) {
    HRSRC found = FindResourceA(instance, name, RT_BITMAP);
    if (found == nullptr) return nullptr;
    const auto* dib = static_cast<const uint8_t*>(LockResource(LoadResource(instance, found)));
    return FromPackedDib(dib, SizeofResource(instance, found));
}

HBITMAP BitmapFile(LPCSTR path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') return nullptr;
    return FromPackedDib(bytes.data() + 14, bytes.size() - 14);
}

}  // namespace

WINBASEAPI HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    if (hInstance == nullptr) return nullptr;  // the system's own bitmaps are not kept
    HBITMAP bitmap = BitmapResource(hInstance, lpBitmapName);
    if (bitmap == nullptr) SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return bitmap;
}

WINBASEAPI HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int, int, UINT fuLoad) {
    switch (type) {
    case IMAGE_BITMAP: {
        HBITMAP bitmap = (fuLoad & LR_LOADFROMFILE) ? BitmapFile(name) : BitmapResource(hInst, name);
        if (bitmap == nullptr) SetLastError((fuLoad & LR_LOADFROMFILE) ? ERROR_FILE_NOT_FOUND : 1814);
        return bitmap;
    }
    case IMAGE_CURSOR: return LoadCursorA(hInst, name);
    case IMAGE_ICON: return LoadIconA(hInst, name);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}
