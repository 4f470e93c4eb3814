#include "gdi32/GdiObjects.h"

#include "gdi32/DeviceContext.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>

namespace platform::gdi {
namespace {

struct Table {
    std::map<uintptr_t, Object> objects;
    uintptr_t next = 0x3000;
};

Table& TheTable() {
    static Table* table = new Table;
    return *table;
}

// The one font the platform draws with, from a Debian font package, so
// every machine renders the same pixels. Fontconfig finds it by family;
// the package's own path is the fallback.
std::string FontFile(bool bold) {
    const char* family = "DejaVu Sans";
    std::string found;
    if (FcInit()) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
        FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* file = nullptr;
            FcChar8* matchedFamily = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
                FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
                std::string(reinterpret_cast<char*>(matchedFamily)) == family)
                found = reinterpret_cast<char*>(file);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    if (found.empty())
        found = bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                     : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    return found;
}

cairo_font_face_t* LoadFace(bool bold) {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        FT_Init_FreeType(&made);
        return made;
    }();
    FT_Face face = nullptr;
    if (library == nullptr || FT_New_Face(library, FontFile(bold).c_str(), 0, &face) != 0) return nullptr;
    return cairo_ft_font_face_create_for_ft_face(face, 0);
}

}  // namespace

Bitmap::~Bitmap() {
    if (surface) cairo_surface_destroy(surface);
    delete[] static_cast<uint8_t*>(bits);
}

std::recursive_mutex& Lock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

HGDIOBJ Add(Object object) {
    std::lock_guard guard(Lock());
    Table& table = TheTable();
    const uintptr_t handle = table.next;
    table.next += 4;
    table.objects.emplace(handle, std::move(object));
    return reinterpret_cast<HGDIOBJ>(handle);
}

Object* Find(HGDIOBJ handle) {
    std::lock_guard guard(Lock());
    auto& objects = TheTable().objects;
    auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects.end() ? nullptr : &it->second;
}

void Remove(HGDIOBJ handle) {
    std::lock_guard guard(Lock());
    TheTable().objects.erase(reinterpret_cast<uintptr_t>(handle));
}

HGDIOBJ Stock(int index) {
    static std::map<int, HGDIOBJ>* made = new std::map<int, HGDIOBJ>;
    std::lock_guard guard(Lock());
    if (auto it = made->find(index); it != made->end()) return it->second;
    Object object{};
    object.stock = true;
    switch (index) {
    case WHITE_BRUSH: object.kind = Kind::Brush; object.brush.color = RGB(255, 255, 255); break;
    case LTGRAY_BRUSH: object.kind = Kind::Brush; object.brush.color = RGB(192, 192, 192); break;
    case GRAY_BRUSH: object.kind = Kind::Brush; object.brush.color = RGB(128, 128, 128); break;
    case DKGRAY_BRUSH: object.kind = Kind::Brush; object.brush.color = RGB(64, 64, 64); break;
    case BLACK_BRUSH: object.kind = Kind::Brush; object.brush.color = 0; break;
    case NULL_BRUSH: object.kind = Kind::Brush; object.brush.hollow = true; break;
    case WHITE_PEN: object.kind = Kind::Pen; object.pen.color = RGB(255, 255, 255); break;
    case BLACK_PEN: object.kind = Kind::Pen; break;
    case NULL_PEN: object.kind = Kind::Pen; object.pen.style = PS_NULL; break;
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEFAULT_GUI_FONT:
        object.kind = Kind::Font;
        object.font.log.lfHeight = -11;
        object.font.log.lfWeight = FW_NORMAL;
        object.font.pixelSize = 11;
        break;
    default: return nullptr;
    }
    HGDIOBJ handle = Add(std::move(object));
    (*made)[index] = handle;
    return handle;
}

cairo_font_face_t* FontFace(bool bold) {
    static cairo_font_face_t* regular = LoadFace(false);
    static cairo_font_face_t* boldFace = LoadFace(true);
    return bold ? boldFace : regular;
}

void ApplyFont(cairo_t* cr, const Font& font) {
    cairo_set_font_face(cr, FontFace(font.bold));
    cairo_set_font_size(cr, font.pixelSize);
    // Fixed rendering options: the same pixels whatever the machine's settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

FontMetrics MetricsOf(const Font& font) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ApplyFont(cr, font);
    cairo_font_extents_t extents{};
    cairo_font_extents(cr, &extents);
    cairo_text_extents_t letters{};
    cairo_text_extents(cr, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &letters);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    FontMetrics metrics;
    metrics.ascent = extents.ascent;
    metrics.descent = extents.descent;
    metrics.height = extents.ascent + extents.descent;
    metrics.averageWidth = letters.x_advance / 52.0;
    return metrics;
}

std::string Utf8FromAnsi(std::string_view text) {
    // Windows-1252 0x80-0x9F; the five undefined bytes keep their code points.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                           0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::string out;
    for (unsigned char c : text) {
        char32_t code = c;
        if (c >= 0x80 && c < 0xA0) code = kHigh[c - 0x80];
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace platform::gdi
