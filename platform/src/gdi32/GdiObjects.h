// GDI objects of the process (pens, brushes, fonts, bitmaps, palettes) and
// device contexts, kept in one table under one lock.
#pragma once

#include <windef.h>
#include <wingdi.h>

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform::gdi {

enum class Kind { Pen, Brush, Font, Bitmap, Palette, DC };

struct Pen {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct Brush {
    bool hollow = false;
    COLORREF color = 0;
};

struct Font {
    LOGFONTA log{};
    double pixelSize = 11;  // the em size in pixels
    bool bold = false;
};

struct Bitmap {
    cairo_surface_t* surface = nullptr;  // RGB24, owned
    int width = 0;
    int height = 0;
    void* bits = nullptr;  // DIB section bits (bottom-up BGR rows), when one
    int bitCount = 32;
    ~Bitmap();
};

struct DC;

struct Object {
    Kind kind;
    bool stock = false;
    Pen pen;
    Brush brush;
    Font font;
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<DC> dc;
};

std::recursive_mutex& Lock();
HGDIOBJ Add(Object object);
Object* Find(HGDIOBJ handle);
void Remove(HGDIOBJ handle);
HGDIOBJ Stock(int index);

// The process's one font face and its metrics at a size.
cairo_font_face_t* FontFace(bool bold);
struct FontMetrics {
    double ascent = 0;
    double descent = 0;
    double height = 0;
    double averageWidth = 0;
};
FontMetrics MetricsOf(const Font& font);
void ApplyFont(cairo_t* cr, const Font& font);

// Windows-1252 text as UTF-8.
std::string Utf8FromAnsi(std::string_view text);

}  // namespace platform::gdi
