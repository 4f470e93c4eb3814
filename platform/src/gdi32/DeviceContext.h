// A device context: a cairo surface (a window's backing surface or a memory
// bitmap), the origin and clip of what it draws on, and the selected objects.
#pragma once

#include "gdi32/GdiObjects.h"

#include <vector>

namespace platform::gdi {

struct DCState {
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ font = nullptr;
    COLORREF textColor = 0;
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    POINT position{};
    int stretchMode = BLACKONWHITE;
};

struct DC {
    cairo_surface_t* surface = nullptr;  // referenced while the DC lives
    double originX = 0;
    double originY = 0;
    RECT clip{};  // in DC coordinates
    HWND window = nullptr;
    HGDIOBJ bitmap = nullptr;  // memory DCs: the selected bitmap
    DCState state;
    std::vector<DCState> saved;
};

// A DC drawing on `surface` with its (0,0) at origin, clipped to clip.
HDC MakeDC(cairo_surface_t* surface, double originX, double originY, RECT clip, HWND window);
void FreeDC(HDC dc);
DC* FindDC(HDC dc);

// A cairo context for drawing on the DC: translated and clipped; nullptr for
// a DC with nothing to draw on. Destroy it with cairo_destroy.
cairo_t* Begin(HDC dc);
void SetColor(cairo_t* cr, COLORREF color);
Font CurrentFont(HDC dc);

}  // namespace platform::gdi
