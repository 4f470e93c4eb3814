#include "gdi32/DeviceContext.h"

namespace platform::gdi {

HDC MakeDC(cairo_surface_t* surface, double originX, double originY, RECT clip, HWND window) {
    auto dc = std::make_shared<DC>();
    dc->surface = surface ? cairo_surface_reference(surface) : nullptr;
    dc->originX = originX;
    dc->originY = originY;
    dc->clip = clip;
    dc->window = window;
    dc->state.pen = Stock(BLACK_PEN);
    dc->state.brush = Stock(WHITE_BRUSH);
    dc->state.font = Stock(SYSTEM_FONT);
    Object object{};
    object.kind = Kind::DC;
    object.dc = dc;
    return static_cast<HDC>(Add(std::move(object)));
}

DC* FindDC(HDC handle) {
    Object* object = Find(handle);
    return object && object->kind == Kind::DC ? object->dc.get() : nullptr;
}

void FreeDC(HDC handle) {
    std::lock_guard guard(Lock());
    if (DC* dc = FindDC(handle)) {
        if (dc->surface) cairo_surface_destroy(dc->surface);
        dc->surface = nullptr;
        Remove(handle);
    }
}

cairo_t* Begin(HDC handle) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(handle);
    if (dc == nullptr || dc->surface == nullptr) return nullptr;
    cairo_t* cr = cairo_create(dc->surface);
    cairo_translate(cr, dc->originX, dc->originY);
    cairo_rectangle(cr, dc->clip.left, dc->clip.top, dc->clip.right - dc->clip.left, dc->clip.bottom - dc->clip.top);
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    return cr;
}

void SetColor(cairo_t* cr, COLORREF color) {
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

Font CurrentFont(HDC handle) {
    std::lock_guard guard(Lock());
    DC* dc = FindDC(handle);
    Object* font = dc ? Find(dc->state.font) : nullptr;
    return font && font->kind == Kind::Font ? font->font : Font{};
}

}  // namespace platform::gdi
