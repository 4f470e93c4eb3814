// USER's drawing helpers over GDI: rectangles, text in a box with word
// wrapping and alignment, focus rectangles, frame controls and icons.
#include "user32/WindowManager.h"

#include "gdi32/DeviceContext.h"

#include <algorithm>

using namespace platform::user;

namespace {

std::string WithoutPrefixes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

int Width(HDC dc, const std::string& text) {
    SIZE size{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// Lines of the text broken at spaces to fit `width` (a word too long for a
// line stands alone); explicit line ends always break.
std::vector<std::string> WrapLines(HDC dc, const std::string& text, int width, bool wrap) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
        if (!wrap) {
            lines.push_back(paragraph);
        } else {
            std::string line;
            size_t pos = 0;
            bool any = false;
            while (pos < paragraph.size()) {
                size_t next = paragraph.find(' ', pos);
                std::string word = paragraph.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
                std::string candidate = line.empty() && !any ? word : line + " " + word;
                if (any && Width(dc, candidate) > width) {
                    lines.push_back(line);
                    line = word;
                } else {
                    line = candidate;
                }
                any = true;
                if (next == std::string::npos) break;
                pos = next + 1;
            }
            lines.push_back(line);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace

WINBASEAPI int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (lprc == nullptr) return 0;
    if (reinterpret_cast<uintptr_t>(hbr) <= 31 && hbr)
        hbr = GetSysColorBrush(static_cast<int>(reinterpret_cast<uintptr_t>(hbr)) - 1);
    auto* object = platform::gdi::Find(hbr);
    if (object == nullptr || object->kind != platform::gdi::Kind::Brush) return 0;
    if (object->brush.hollow) return 1;
    cairo_t* cr = platform::gdi::Begin(hDC);
    if (cr == nullptr) return 0;
    platform::gdi::SetColor(cr, object->brush.color);
    cairo_rectangle(cr, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top);
    cairo_fill(cr);
    cairo_destroy(cr);
    return 1;
}

WINBASEAPI int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (lprc == nullptr) return 0;
    const RECT r = *lprc;
    RECT sides[4] = {{r.left, r.top, r.right, r.top + 1},
                     {r.left, r.bottom - 1, r.right, r.bottom},
                     {r.left, r.top, r.left + 1, r.bottom},
                     {r.right - 1, r.top, r.right, r.bottom}};
    for (const RECT& side : sides) FillRect(hDC, &side, hbr);
    return 1;
}

WINBASEAPI int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    if (lpchText == nullptr || lprc == nullptr) return 0;
    std::string text = cchText < 0 ? std::string(lpchText) : std::string(lpchText, cchText);
    if (!(format & DT_NOPREFIX)) text = WithoutPrefixes(text);
    TEXTMETRICA metrics{};
    GetTextMetricsA(hdc, &metrics);
    const int lineHeight = metrics.tmHeight;
    const int width = lprc->right - lprc->left;
    const bool single = (format & DT_SINGLELINE) != 0;
    std::vector<std::string> lines;
    if (single) {
        std::erase(text, '\n');
        std::erase(text, '\r');
        lines.push_back(text);
    } else {
        lines = WrapLines(hdc, text, width, (format & DT_WORDBREAK) != 0);
    }
    const int height = lineHeight * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const auto& line : lines) widest = std::max(widest, Width(hdc, line));
        if (!(format & DT_WORDBREAK) || widest < width) lprc->right = lprc->left + widest;
        lprc->bottom = lprc->top + height;
        return height;
    }
    int y = lprc->top;
    if (single && (format & DT_VCENTER)) y = lprc->top + (lprc->bottom - lprc->top - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM)) y = lprc->bottom - lineHeight;
    const UINT align = SetTextAlign(hdc, TA_LEFT | TA_TOP);
    for (const auto& line : lines) {
        int x = lprc->left;
        const int w = Width(hdc, line);
        if (format & DT_CENTER) x = lprc->left + (width - w) / 2;
        else if (format & DT_RIGHT) x = lprc->right - w;
        TextOutA(hdc, x, y, line.data(), static_cast<int>(line.size()));
        y += lineHeight;
    }
    SetTextAlign(hdc, align);
    return height;
}

WINBASEAPI BOOL WINAPI DrawFocusRect(HDC hDC, const RECT* lprc) {
    if (lprc == nullptr) return FALSE;
    cairo_t* cr = platform::gdi::Begin(hDC);
    if (cr == nullptr) return FALSE;
    // Every other pixel of the outline, inverted.
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    const RECT r = *lprc;
    for (int x = r.left; x < r.right; x += 2) {
        cairo_rectangle(cr, x, r.top, 1, 1);
        cairo_rectangle(cr, x, r.bottom - 1, 1, 1);
    }
    for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
        cairo_rectangle(cr, r.left, y, 1, 1);
        cairo_rectangle(cr, r.right - 1, y, 1, 1);
    }
    cairo_fill(cr);
    cairo_destroy(cr);
    return TRUE;
}

namespace {

void Edge(HDC dc, RECT r, COLORREF topLeft, COLORREF bottomRight) {
    HBRUSH light = CreateSolidBrush(topLeft), dark = CreateSolidBrush(bottomRight);
    RECT top{r.left, r.top, r.right - 1, r.top + 1}, left{r.left, r.top, r.left + 1, r.bottom - 1};
    RECT bottom{r.left, r.bottom - 1, r.right, r.bottom}, right{r.right - 1, r.top, r.right, r.bottom};
    FillRect(dc, &top, light);
    FillRect(dc, &left, light);
    FillRect(dc, &bottom, dark);
    FillRect(dc, &right, dark);
    DeleteObject(light);
    DeleteObject(dark);
}

}  // namespace

WINBASEAPI BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState) {
    if (lprc == nullptr || uType != DFC_BUTTON) return FALSE;
    RECT r = *lprc;
    const bool pushed = (uState & DFCS_PUSHED) != 0;
    if ((uState & 0xFF) == DFCS_BUTTONPUSH) {
        FillRect(hdc, &r, GetSysColorBrush(COLOR_BTNFACE));
        if (pushed) {
            Edge(hdc, r, SysColor(COLOR_3DDKSHADOW), SysColor(COLOR_BTNHIGHLIGHT));
            InflateRect(&r, -1, -1);
            Edge(hdc, r, SysColor(COLOR_BTNSHADOW), SysColor(COLOR_3DLIGHT));
        } else {
            Edge(hdc, r, SysColor(COLOR_3DLIGHT), SysColor(COLOR_3DDKSHADOW));
            InflateRect(&r, -1, -1);
            Edge(hdc, r, SysColor(COLOR_BTNHIGHLIGHT), SysColor(COLOR_BTNSHADOW));
        }
        return TRUE;
    }
    const bool radio = (uState & 0xFF) == DFCS_BUTTONRADIO;
    const COLORREF fill = (uState & DFCS_INACTIVE) || pushed ? SysColor(COLOR_BTNFACE) : SysColor(COLOR_WINDOW);
    if (radio) {
        HBRUSH brush = CreateSolidBrush(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, SysColor(COLOR_BTNSHADOW));
        HGDIOBJ oldBrush = SelectObject(hdc, brush), oldPen = SelectObject(hdc, pen);
        Ellipse(hdc, r.left, r.top, r.right, r.bottom);
        if (uState & DFCS_CHECKED) {
            HBRUSH dot = CreateSolidBrush(0);
            SelectObject(hdc, dot);
            SelectObject(hdc, GetStockObject(NULL_PEN));
            const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
            Ellipse(hdc, cx - 2, cy - 2, cx + 2, cy + 2);
            SelectObject(hdc, brush);
            DeleteObject(dot);
        }
        SelectObject(hdc, oldBrush);
        SelectObject(hdc, oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
        return TRUE;
    }
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(hdc, &r, brush);
    DeleteObject(brush);
    Edge(hdc, r, SysColor(COLOR_BTNSHADOW), SysColor(COLOR_BTNHIGHLIGHT));
    InflateRect(&r, -1, -1);
    Edge(hdc, r, SysColor(COLOR_3DDKSHADOW), SysColor(COLOR_3DLIGHT));
    if (uState & DFCS_CHECKED) {
        // The tick.
        HPEN pen = CreatePen(PS_SOLID, 1, 0);
        HGDIOBJ old = SelectObject(hdc, pen);
        const int x = r.left + 2, y = r.top + 4;
        for (int i = 0; i < 3; ++i) {
            MoveToEx(hdc, x, y + i, nullptr);
            LineTo(hdc, x + 2, y + 2 + i);
            LineTo(hdc, x + 7, y - 3 + i);
        }
        SelectObject(hdc, old);
        DeleteObject(pen);
    }
    return TRUE;
}

// The system icons, drawn in 32 x 32: a red disc with a cross (hand), a
// yellow triangle (exclamation), speech bubbles with "?" and "i".
WINBASEAPI BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    const uintptr_t id = reinterpret_cast<uintptr_t>(hIcon);
    HGDIOBJ oldPen = SelectObject(hDC, GetStockObject(BLACK_PEN));
    HBRUSH fill = nullptr;
    const char* glyph = "";
    COLORREF glyphColor = RGB(255, 255, 255);
    if (id == 32513) fill = CreateSolidBrush(RGB(255, 0, 0)), glyph = "X";
    else if (id == 32515) fill = CreateSolidBrush(RGB(255, 255, 0)), glyph = "!", glyphColor = 0;
    else if (id == 32514) fill = CreateSolidBrush(RGB(255, 255, 255)), glyph = "?", glyphColor = RGB(0, 0, 255);
    else fill = CreateSolidBrush(RGB(255, 255, 255)), glyph = "i", glyphColor = RGB(0, 0, 255);
    HGDIOBJ oldBrush = SelectObject(hDC, fill);
    if (id == 32515) {
        const POINT triangle[3] = {{X + 16, Y + 2}, {X + 30, Y + 29}, {X + 2, Y + 29}};
        Polygon(hDC, triangle, 3);
    } else {
        Ellipse(hDC, X + 2, Y + 2, X + 30, Y + 30);
    }
    HFONT font = CreateFontA(-18, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Times New Roman");
    HGDIOBJ oldFont = SelectObject(hDC, font);
    SetBkMode(hDC, TRANSPARENT);
    const COLORREF oldColor = SetTextColor(hDC, glyphColor);
    RECT box{X, Y + (id == 32515 ? 5 : 2), X + 32, Y + 32};
    DrawTextA(hDC, glyph, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(hDC, oldColor);
    SelectObject(hDC, oldFont);
    SelectObject(hDC, oldBrush);
    SelectObject(hDC, oldPen);
    DeleteObject(font);
    DeleteObject(fill);
    return TRUE;
}

WINBASEAPI BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (lprc == nullptr) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

WINBASEAPI BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    if (lprc == nullptr) return FALSE;
    lprc->left -= dx;
    lprc->right += dx;
    lprc->top -= dy;
    lprc->bottom += dy;
    return TRUE;
}

WINBASEAPI BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (lprc == nullptr) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

WINBASEAPI BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}
