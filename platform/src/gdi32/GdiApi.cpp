// The GDI functions: objects, selection, lines and shapes, text, blits.
#include "core/Controls.h"
#include "gdi32/DeviceContext.h"

#include <winuser.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace platform::gdi;

namespace {

HGDIOBJ MakeBitmap(int width, int height) {
    if (width <= 0 || height <= 0) width = height = 1;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    bitmap->width = width;
    bitmap->height = height;
    // New bitmaps are black, as on Windows.
    cairo_t* cr = cairo_create(bitmap->surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    Object object{};
    object.kind = Kind::Bitmap;
    object.bitmap = bitmap;
    return Add(std::move(object));
}

Pen PenOf(const DC& dc) {
    Object* pen = Find(dc.state.pen);
    return pen && pen->kind == Kind::Pen ? pen->pen : Pen{};
}

Brush BrushOf(const DC& dc) {
    Object* brush = Find(dc.state.brush);
    return brush && brush->kind == Kind::Brush ? brush->brush : Brush{true, 0};
}

void StrokeWith(cairo_t* cr, const Pen& pen) {
    SetColor(cr, pen.color);
    cairo_set_line_width(cr, std::max(1, pen.width));
    if (pen.style == PS_DOT) {
        const double dash[] = {1.0, 1.0};
        cairo_set_dash(cr, dash, 2, 0);
    } else if (pen.style == PS_DASH) {
        const double dash[] = {6.0, 2.0};
        cairo_set_dash(cr, dash, 2, 0);
    }
    cairo_stroke(cr);
}

// Shapes take the brush inside and the pen along the inner edge of the box.
BOOL Shape(HDC hdc, int left, int top, int right, int bottom, double radius) {
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return FALSE;
    DC dc = *FindDC(hdc);
    const Pen pen = PenOf(dc);
    const Brush brush = BrushOf(dc);
    auto path = [&](double inset) {
        const double x = left + inset, y = top + inset, w = right - left - 2 * inset, h = bottom - top - 2 * inset;
        if (radius <= 0) {
            cairo_rectangle(cr, x, y, w, h);
            return;
        }
        const double r = std::min({radius, w / 2, h / 2});
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
        cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
        cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
        cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
        cairo_close_path(cr);
    };
    if (!brush.hollow) {
        path(0);
        SetColor(cr, brush.color);
        cairo_fill(cr);
    }
    if (pen.style != PS_NULL) {
        path(std::max(1, pen.width) / 2.0);
        StrokeWith(cr, pen);
    }
    cairo_destroy(cr);
    return TRUE;
}

}  // namespace

WINBASEAPI HDC WINAPI CreateCompatibleDC(HDC) {
    HDC dc = MakeDC(nullptr, 0, 0, RECT{0, 0, 0, 0}, nullptr);
    SelectObject(dc, MakeBitmap(1, 1));
    return dc;
}

WINBASEAPI BOOL WINAPI DeleteDC(HDC hdc) {
    if (FindDC(hdc) == nullptr) return FALSE;
    FreeDC(hdc);
    return TRUE;
}

WINBASEAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC, int cx, int cy) {
    return static_cast<HBITMAP>(MakeBitmap(cx, cy));
}

WINBASEAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT, UINT, const void*) {
    return static_cast<HBITMAP>(MakeBitmap(nWidth, nHeight));
}

WINBASEAPI HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT, void** ppvBits, HANDLE, DWORD) {
    if (pbmi == nullptr) return nullptr;
    const int width = pbmi->bmiHeader.biWidth;
    const int height = std::abs(pbmi->bmiHeader.biHeight);
    HGDIOBJ handle = MakeBitmap(width, height);
    Object* object = Find(handle);
    const int stride = ((width * pbmi->bmiHeader.biBitCount + 31) / 32) * 4;
    object->bitmap->bits = new uint8_t[static_cast<size_t>(stride) * height]();
    object->bitmap->bitCount = pbmi->bmiHeader.biBitCount;
    if (ppvBits) *ppvBits = object->bitmap->bits;
    return static_cast<HBITMAP>(handle);
}

WINBASEAPI int WINAPI GetObjectA(HGDIOBJ h, int c, LPVOID pv) {
    Object* object = Find(h);
    if (object == nullptr) return 0;
    if (object->kind == Kind::Bitmap && c >= static_cast<int>(sizeof(BITMAP))) {
        BITMAP* bm = static_cast<BITMAP*>(pv);
        *bm = BITMAP{};
        bm->bmWidth = object->bitmap->width;
        bm->bmHeight = object->bitmap->height;
        bm->bmPlanes = 1;
        bm->bmBitsPixel = static_cast<WORD>(object->bitmap->bitCount);
        bm->bmWidthBytes = ((bm->bmWidth * bm->bmBitsPixel + 15) / 16) * 2;
        bm->bmBits = object->bitmap->bits;
        return sizeof(BITMAP);
    }
    if (object->kind == Kind::Font && c >= static_cast<int>(sizeof(LOGFONTA))) {
        std::memcpy(pv, &object->font.log, sizeof(LOGFONTA));
        return sizeof(LOGFONTA);
    }
    return 0;
}

WINBASEAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(hdc);
    Object* object = Find(h);
    if (dc == nullptr || object == nullptr) return nullptr;
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
    case Kind::Pen: previous = dc->state.pen; dc->state.pen = h; break;
    case Kind::Brush: previous = dc->state.brush; dc->state.brush = h; break;
    case Kind::Font: previous = dc->state.font; dc->state.font = h; break;
    case Kind::Bitmap:
        previous = dc->bitmap;
        dc->bitmap = h;
        if (dc->surface) cairo_surface_destroy(dc->surface);
        dc->surface = cairo_surface_reference(object->bitmap->surface);
        dc->clip = RECT{0, 0, object->bitmap->width, object->bitmap->height};
        break;
    default: return nullptr;
    }
    return previous;
}

WINBASEAPI BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    Object* object = Find(ho);
    if (object == nullptr || object->kind == Kind::DC) return FALSE;
    if (!object->stock) Remove(ho);
    return TRUE;
}

WINBASEAPI HGDIOBJ WINAPI GetStockObject(int i) { return Stock(i); }

WINBASEAPI HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    Object object{};
    object.kind = Kind::Pen;
    object.pen = Pen{iStyle, cWidth, color};
    return static_cast<HPEN>(Add(std::move(object)));
}

WINBASEAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    Object object{};
    object.kind = Kind::Brush;
    object.brush = Brush{false, color};
    return static_cast<HBRUSH>(Add(std::move(object)));
}

WINBASEAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush) {
    if (plbrush == nullptr) return nullptr;
    if (plbrush->lbStyle == BS_NULL) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return CreateSolidBrush(plbrush->lbColor);
}

WINBASEAPI HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    if (lplf == nullptr) return nullptr;
    Object object{};
    object.kind = Kind::Font;
    object.font.log = *lplf;
    object.font.bold = lplf->lfWeight >= 600;
    Font probe;
    probe.bold = object.font.bold;
    probe.pixelSize = 100;
    const FontMetrics metrics = MetricsOf(probe);
    if (lplf->lfHeight < 0) {
        object.font.pixelSize = -lplf->lfHeight;
    } else if (lplf->lfHeight > 0) {
        // A positive height is the cell height: ascent plus descent.
        object.font.pixelSize = lplf->lfHeight * 100.0 / metrics.height;
    } else {
        object.font.pixelSize = 11;
    }
    return static_cast<HFONT>(Add(std::move(object)));
}

WINBASEAPI HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                                    DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                                    DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                                    DWORD iPitchAndFamily, LPCSTR pszFaceName) {
    LOGFONTA log{};
    log.lfHeight = cHeight;
    log.lfWidth = cWidth;
    log.lfEscapement = cEscapement;
    log.lfOrientation = cOrientation;
    log.lfWeight = cWeight;
    log.lfItalic = static_cast<BYTE>(bItalic);
    log.lfUnderline = static_cast<BYTE>(bUnderline);
    log.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
    log.lfCharSet = static_cast<BYTE>(iCharSet);
    log.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
    log.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
    log.lfQuality = static_cast<BYTE>(iQuality);
    log.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
    if (pszFaceName) std::strncpy(log.lfFaceName, pszFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&log);
}

#define DC_FIELD(function, type, field, fail)              \
    WINBASEAPI type WINAPI function(HDC hdc, type value) { \
        std::lock_guard guard(Lock());                     \
        DC* dc = FindDC(hdc);                              \
        if (dc == nullptr) return fail;                    \
        type previous = dc->state.field;                   \
        dc->state.field = value;                           \
        return previous;                                   \
    }
DC_FIELD(SetTextColor, COLORREF, textColor, CLR_INVALID)
DC_FIELD(SetBkColor, COLORREF, bkColor, CLR_INVALID)
DC_FIELD(SetBkMode, int, bkMode, 0)
DC_FIELD(SetTextAlign, UINT, textAlign, 0xFFFFFFFFu)
DC_FIELD(SetStretchBltMode, int, stretchMode, 0)
#undef DC_FIELD

WINBASEAPI COLORREF WINAPI GetTextColor(HDC hdc) {
    DC* dc = FindDC(hdc);
    return dc ? dc->state.textColor : CLR_INVALID;
}

WINBASEAPI BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    if (psizl == nullptr || FindDC(hdc) == nullptr) return FALSE;
    const Font font = CurrentFont(hdc);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ApplyFont(cr, font);
    cairo_text_extents_t extents{};
    const std::string text = Utf8FromAnsi(std::string_view(lpString ? lpString : "", lpString ? c : 0));
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    const FontMetrics metrics = MetricsOf(font);
    psizl->cx = static_cast<LONG>(std::lround(extents.x_advance));
    psizl->cy = static_cast<LONG>(std::ceil(metrics.height));
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
    if (lptm == nullptr || FindDC(hdc) == nullptr) return FALSE;
    const Font font = CurrentFont(hdc);
    const FontMetrics metrics = MetricsOf(font);
    *lptm = TEXTMETRICA{};
    lptm->tmAscent = static_cast<LONG>(std::ceil(metrics.ascent));
    lptm->tmDescent = static_cast<LONG>(std::ceil(metrics.descent));
    lptm->tmHeight = lptm->tmAscent + lptm->tmDescent;
    lptm->tmInternalLeading = lptm->tmHeight - static_cast<LONG>(std::lround(font.pixelSize));
    lptm->tmAveCharWidth = static_cast<LONG>(std::lround(metrics.averageWidth));
    lptm->tmMaxCharWidth = static_cast<LONG>(std::lround(font.pixelSize));
    lptm->tmWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lptm->tmDigitizedAspectX = lptm->tmDigitizedAspectY = 96;
    lptm->tmLastChar = 0xFF;
    lptm->tmDefaultChar = '?';
    lptm->tmBreakChar = ' ';
    return TRUE;
}

WINBASEAPI BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    if (lpString == nullptr || c < 0) return FALSE;
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return FALSE;
    const DC dc = *FindDC(hdc);
    const Font font = CurrentFont(hdc);
    ApplyFont(cr, font);
    const std::string text = Utf8FromAnsi(std::string_view(lpString, c));
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, text.c_str(), &extents);
    const FontMetrics metrics = MetricsOf(font);
    double left = x;
    if ((dc.state.textAlign & TA_CENTER) == TA_CENTER) left -= extents.x_advance / 2;
    else if (dc.state.textAlign & TA_RIGHT) left -= extents.x_advance;
    double baseline = y + std::ceil(metrics.ascent);
    if ((dc.state.textAlign & TA_BASELINE) == TA_BASELINE) baseline = y;
    else if (dc.state.textAlign & TA_BOTTOM) baseline = y - std::ceil(metrics.descent);
    if (dc.state.bkMode == OPAQUE) {
        SetColor(cr, dc.state.bkColor);
        cairo_rectangle(cr, std::floor(left), baseline - std::ceil(metrics.ascent), std::ceil(extents.x_advance),
                        std::ceil(metrics.height));
        cairo_fill(cr);
    }
    SetColor(cr, dc.state.textColor);
    cairo_move_to(cr, std::round(left), baseline);
    cairo_show_text(cr, text.c_str());
    cairo_destroy(cr);
    return TRUE;
}

WINBASEAPI BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(hdc);
    if (dc == nullptr) return FALSE;
    if (lppt) *lppt = dc->state.position;
    dc->state.position = POINT{x, y};
    return TRUE;
}

WINBASEAPI BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return FALSE;
    DC* dc = FindDC(hdc);
    const Pen pen = PenOf(*dc);
    const POINT from = dc->state.position;
    dc->state.position = POINT{x, y};
    if (pen.style != PS_NULL) {
        // The last pixel is not drawn: stop half a pixel short.
        const double dx = x - from.x, dy = y - from.y;
        const double length = std::hypot(dx, dy);
        const double ex = length > 0 ? x - dx / length : x, ey = length > 0 ? y - dy / length : y;
        cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
        cairo_line_to(cr, ex + 0.5, ey + 0.5);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
        StrokeWith(cr, pen);
    }
    cairo_destroy(cr);
    return TRUE;
}

WINBASEAPI BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    return Shape(hdc, left, top, right, bottom, 0);
}

WINBASEAPI BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int) {
    return Shape(hdc, left, top, right, bottom, width / 2.0);
}

WINBASEAPI BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return FALSE;
    DC dc = *FindDC(hdc);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_save(cr);
    cairo_translate(cr, (left + right) / 2.0, (top + bottom) / 2.0);
    cairo_scale(cr, (right - left) / 2.0, (bottom - top) / 2.0);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    const Brush brush = BrushOf(dc);
    if (!brush.hollow) {
        SetColor(cr, brush.color);
        cairo_fill_preserve(cr);
    }
    const Pen pen = PenOf(dc);
    if (pen.style != PS_NULL) StrokeWith(cr, pen);
    cairo_destroy(cr);
    return TRUE;
}

WINBASEAPI BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt) {
    if (apt == nullptr || cpt < 2) return FALSE;
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return FALSE;
    DC dc = *FindDC(hdc);
    cairo_move_to(cr, apt[0].x + 0.5, apt[0].y + 0.5);
    for (int i = 1; i < cpt; ++i) cairo_line_to(cr, apt[i].x + 0.5, apt[i].y + 0.5);
    cairo_close_path(cr);
    const Brush brush = BrushOf(dc);
    if (!brush.hollow) {
        SetColor(cr, brush.color);
        cairo_fill_preserve(cr);
    }
    const Pen pen = PenOf(dc);
    if (pen.style != PS_NULL) StrokeWith(cr, pen);
    else cairo_new_path(cr);
    cairo_destroy(cr);
    return TRUE;
}

WINBASEAPI COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    cairo_t* cr = Begin(hdc);
    if (cr == nullptr) return CLR_INVALID;
    SetColor(cr, color);
    cairo_rectangle(cr, x, y, 1, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    return color;
}

WINBASEAPI COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(hdc);
    if (dc == nullptr || dc->surface == nullptr) return CLR_INVALID;
    if (x < dc->clip.left || y < dc->clip.top || x >= dc->clip.right || y >= dc->clip.bottom) return CLR_INVALID;
    cairo_surface_flush(dc->surface);
    const int px = static_cast<int>(dc->originX) + x, py = static_cast<int>(dc->originY) + y;
    if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(dc->surface) ||
        py >= cairo_image_surface_get_height(dc->surface))
        return CLR_INVALID;
    const uint8_t* row = cairo_image_surface_get_data(dc->surface) + py * cairo_image_surface_get_stride(dc->surface);
    const uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[px];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

WINBASEAPI BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                                  int ySrc, int wSrc, int hSrc, DWORD rop) {
    cairo_t* cr = Begin(hdcDest);
    if (cr == nullptr) return FALSE;
    if (rop == BLACKNESS || rop == WHITENESS || rop == PATCOPY) {
        if (rop == PATCOPY) SetColor(cr, BrushOf(*FindDC(hdcDest)).color);
        else SetColor(cr, rop == BLACKNESS ? 0 : RGB(255, 255, 255));
        cairo_rectangle(cr, xDest, yDest, wDest, hDest);
        cairo_fill(cr);
        cairo_destroy(cr);
        return TRUE;
    }
    DC* src = FindDC(hdcSrc);
    if (src == nullptr || src->surface == nullptr || wSrc == 0 || hSrc == 0) {
        cairo_destroy(cr);
        return FALSE;
    }
    cairo_rectangle(cr, xDest, yDest, wDest, hDest);
    cairo_clip(cr);
    cairo_translate(cr, xDest, yDest);
    cairo_scale(cr, static_cast<double>(wDest) / wSrc, static_cast<double>(hDest) / hSrc);
    cairo_set_source_surface(cr, src->surface, -(src->originX + xSrc), -(src->originY + ySrc));
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_destroy(cr);
    return TRUE;
}

WINBASEAPI BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    return StretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

WINBASEAPI int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                                    int ySrc, int SrcWidth, int SrcHeight, const void* lpBits,
                                    const BITMAPINFO* lpbmi, UINT, DWORD) {
    if (lpBits == nullptr || lpbmi == nullptr) return 0;
    const BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    const int width = header.biWidth, height = std::abs(header.biHeight);
    const int bits = header.biBitCount;
    if (width <= 0 || height <= 0 || (bits != 1 && bits != 8 && bits != 24 && bits != 32)) return 0;
    const int stride = ((width * bits + 31) / 32) * 4;
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    uint8_t* out = cairo_image_surface_get_data(image);
    const int outStride = cairo_image_surface_get_stride(image);
    const uint8_t* in = static_cast<const uint8_t*>(lpBits);
    for (int row = 0; row < height; ++row) {
        const uint8_t* line = in + static_cast<size_t>(header.biHeight > 0 ? height - 1 - row : row) * stride;
        uint32_t* target = reinterpret_cast<uint32_t*>(out + row * outStride);
        for (int col = 0; col < width; ++col) {
            uint8_t r = 0, g = 0, b = 0;
            if (bits == 24 || bits == 32) {
                const uint8_t* p = line + col * (bits / 8);
                b = p[0], g = p[1], r = p[2];
            } else {
                const int index = bits == 8 ? line[col] : (line[col / 8] >> (7 - col % 8)) & 1;
                const RGBQUAD q = lpbmi->bmiColors[index];
                r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
            }
            target[col] = (static_cast<uint32_t>(r) << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(image);
    HDC source = MakeDC(image, 0, 0, RECT{0, 0, width, height}, nullptr);
    cairo_surface_destroy(image);
    // Bottom-up bitmaps count source rows from the bottom.
    const int top = header.biHeight > 0 ? height - ySrc - SrcHeight : ySrc;
    const BOOL done =
        StretchBlt(hdc, xDest, yDest, DestWidth, DestHeight, source, xSrc, top, SrcWidth, SrcHeight, SRCCOPY);
    FreeDC(source);
    return done ? SrcHeight : 0;
}

WINBASEAPI int WINAPI GetDeviceCaps(HDC, int index) {
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case BITSPIXEL: return 32;
    case HORZRES: return 1280;
    case VERTRES: return 1024;
    default: return 0;
    }
}

// Palettes: every surface is true colour, so they change nothing.
WINBASEAPI HPALETTE WINAPI SelectPalette(HDC, HPALETTE hPal, BOOL) { return hPal; }
WINBASEAPI UINT WINAPI RealizePalette(HDC) { return 0; }

WINBASEAPI int WINAPI SaveDC(HDC hdc) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(hdc);
    if (dc == nullptr) return 0;
    dc->saved.push_back(dc->state);
    return static_cast<int>(dc->saved.size());
}

WINBASEAPI BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(hdc);
    if (dc == nullptr || dc->saved.empty()) return FALSE;
    size_t index = nSavedDC < 0 ? dc->saved.size() + nSavedDC : static_cast<size_t>(nSavedDC) - 1;
    if (index >= dc->saved.size()) return FALSE;
    dc->state = dc->saved[index];
    dc->saved.resize(index);
    return TRUE;
}
