// Painting: each top-level window has a backing surface; when the queue is
// empty the dirty ones are painted (frame, then WM_ERASEBKGND and WM_PAINT of
// each visible window, parents before children) and shown on the display.
#include "user32/WindowManager.h"

#include "gdi32/DeviceContext.h"
#include "user32/Display.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace platform::user {
namespace {

thread_local std::map<HWND, HDC>* paintDCs = nullptr;

RECT Intersect(RECT a, RECT b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// The part of the window's client area visible on the surface, in surface
// coordinates.
RECT VisibleClientOnSurface(HWND hwnd) {
    std::lock_guard guard(Lock());
    RECT visible{-100000, -100000, 100000, 100000};
    for (HWND current = hwnd; current; current = GetWindow(current, GW_OWNER) ? nullptr : GetParent(current)) {
        Window* window = Find(current);
        if (window == nullptr) break;
        const POINT origin = ClientOriginOnSurface(current);
        const RECT client = ClientInWindow(*window);
        visible = Intersect(visible, RECT{origin.x, origin.y, origin.x + client.right - client.left,
                                          origin.y + client.bottom - client.top});
        if (window->parent == nullptr) break;
    }
    return visible;
}

HDC ClientDC(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* top = Find(TopLevelOf(hwnd));
    if (top == nullptr) return nullptr;
    if (top->surface == nullptr) {
        const int width = std::max<LONG>(1, top->rect.right - top->rect.left);
        const int height = std::max<LONG>(1, top->rect.bottom - top->rect.top);
        top->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    }
    const POINT origin = ClientOriginOnSurface(hwnd);
    RECT visible = VisibleClientOnSurface(hwnd);
    OffsetRect(&visible, -origin.x, -origin.y);
    return gdi::MakeDC(top->surface, origin.x, origin.y, visible, hwnd);
}

void Fill(HDC dc, RECT r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// The classic raised frame and caption of a top-level window, or the border
// of a child window, drawn in its parent's client coordinates.
void PaintFrame(HWND hwnd) {
    Window copy;
    HWND parent = nullptr;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        if (window == nullptr) return;
        copy.style = window->style;
        copy.exStyle = window->exStyle;
        copy.rect = window->rect;
        copy.parent = window->parent;
        copy.text = window->text;
        parent = window->parent;
    }
    const RECT client = ClientInWindow(copy);
    if (client.left == 0 && client.top == 0) return;
    HDC dc = nullptr;
    RECT box{};
    if (parent) {
        dc = ClientDC(parent);
        box = copy.rect;
    } else {
        Window* top = Find(hwnd);
        const int width = copy.rect.right - copy.rect.left, height = copy.rect.bottom - copy.rect.top;
        dc = gdi::MakeDC(top->surface, 0, 0, RECT{0, 0, width, height}, hwnd);
        box = RECT{0, 0, width, height};
    }
    if (parent) {
        if (copy.exStyle & WS_EX_CLIENTEDGE) {
            Fill(dc, RECT{box.left, box.top, box.right, box.top + 1}, SysColor(COLOR_BTNSHADOW));
            Fill(dc, RECT{box.left, box.top, box.left + 1, box.bottom}, SysColor(COLOR_BTNSHADOW));
            Fill(dc, RECT{box.left, box.bottom - 1, box.right, box.bottom}, SysColor(COLOR_BTNHIGHLIGHT));
            Fill(dc, RECT{box.right - 1, box.top, box.right, box.bottom}, SysColor(COLOR_BTNHIGHLIGHT));
            Fill(dc, RECT{box.left + 1, box.top + 1, box.right - 1, box.top + 2}, SysColor(COLOR_3DDKSHADOW));
            Fill(dc, RECT{box.left + 1, box.top + 1, box.left + 2, box.bottom - 1}, SysColor(COLOR_3DDKSHADOW));
        } else {
            HBRUSH frame = CreateSolidBrush(copy.exStyle & WS_EX_STATICEDGE ? SysColor(COLOR_BTNSHADOW) : 0);
            FrameRect(dc, &box, frame);
            DeleteObject(frame);
        }
        gdi::FreeDC(dc);
        return;
    }
    Fill(dc, box, SysColor(COLOR_BTNFACE));
    Fill(dc, RECT{box.left, box.top, box.right, box.top + 1}, SysColor(COLOR_3DLIGHT));
    Fill(dc, RECT{box.left, box.top, box.left + 1, box.bottom}, SysColor(COLOR_3DLIGHT));
    Fill(dc, RECT{box.left + 1, box.top + 1, box.right - 1, box.top + 2}, SysColor(COLOR_BTNHIGHLIGHT));
    Fill(dc, RECT{box.left + 1, box.top + 1, box.left + 2, box.bottom - 1}, SysColor(COLOR_BTNHIGHLIGHT));
    Fill(dc, RECT{box.left, box.bottom - 1, box.right, box.bottom}, SysColor(COLOR_3DDKSHADOW));
    Fill(dc, RECT{box.right - 1, box.top, box.right, box.bottom}, SysColor(COLOR_3DDKSHADOW));
    Fill(dc, RECT{box.left + 1, box.bottom - 2, box.right - 1, box.bottom - 1}, SysColor(COLOR_BTNSHADOW));
    Fill(dc, RECT{box.right - 2, box.top + 1, box.right - 1, box.bottom - 1}, SysColor(COLOR_BTNSHADOW));
    if ((copy.style & WS_CAPTION) == WS_CAPTION) {
        const RECT caption{3, 3, box.right - 3, 3 + CaptionHeight() - 1};
        Fill(dc, caption, SysColor(COLOR_HIGHLIGHT));
        HFONT bold = CreateFontA(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "MS Shell Dlg");
        HGDIOBJ old = SelectObject(dc, bold);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        RECT text = caption;
        text.left += 4;
        text.right -= 20;
        DrawTextA(dc, copy.text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        DeleteObject(bold);
        if (copy.style & WS_SYSMENU) {
            // The close box.
            RECT close{caption.right - 18, caption.top + 2, caption.right - 2, caption.bottom - 2};
            DrawFrameControl(dc, &close, DFC_BUTTON, DFCS_BUTTONPUSH);
            HPEN pen = CreatePen(PS_SOLID, 1, 0);
            HGDIOBJ oldPen = SelectObject(dc, pen);
            for (int i = 0; i < 2; ++i) {
                MoveToEx(dc, close.left + 4 + i, close.top + 3, nullptr);
                LineTo(dc, close.right - 4 + i, close.bottom - 4);
                MoveToEx(dc, close.right - 5 + i, close.top + 3, nullptr);
                LineTo(dc, close.left + 3 + i, close.bottom - 4);
            }
            SelectObject(dc, oldPen);
            DeleteObject(pen);
        }
    }
    gdi::FreeDC(dc);
}

// A window's own scroll bars, beside its client area.
void PaintScrollBars(HWND hwnd) {
    RECT vertical{}, horizontal{}, rect{};
    ScrollBar vbar, hbar;
    HWND parent = nullptr;
    cairo_surface_t* surface = nullptr;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        if (window == nullptr) return;
        vertical = ScrollBarRect(*window, true);
        horizontal = ScrollBarRect(*window, false);
        vbar = window->vscroll;
        hbar = window->hscroll;
        rect = window->rect;
        parent = window->parent;
        surface = window->surface;
    }
    if (vertical.right == vertical.left && horizontal.right == horizontal.left) return;
    HDC dc = nullptr;
    if (parent) {
        dc = ClientDC(parent);
        OffsetRect(&vertical, rect.left, rect.top);
        OffsetRect(&horizontal, rect.left, rect.top);
    } else {
        dc = gdi::MakeDC(surface, 0, 0, RECT{0, 0, rect.right - rect.left, rect.bottom - rect.top}, hwnd);
    }
    const bool enabled = IsWindowEnabled(hwnd);
    if (vertical.right > vertical.left) DrawScrollBar(dc, vertical, vbar, true, enabled);
    if (horizontal.right > horizontal.left) DrawScrollBar(dc, horizontal, hbar, false, enabled);
    if (vertical.right > vertical.left && horizontal.right > horizontal.left) {
        RECT corner{vertical.left, horizontal.top, vertical.right, horizontal.bottom};
        FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
    }
    gdi::FreeDC(dc);
}

void PaintTree(HWND hwnd) {
    if (!IsWindow(hwnd)) return;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        if (!(window->style & WS_VISIBLE)) return;
    }
    PaintFrame(hwnd);
    PaintScrollBars(hwnd);
    HDC dc = ClientDC(hwnd);
    std::map<HWND, HDC> local;
    if (paintDCs == nullptr) paintDCs = &local;
    (*paintDCs)[hwnd] = dc;
    SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(hwnd, WM_PAINT, 0, 0);
    paintDCs->erase(hwnd);
    if (paintDCs == &local) paintDCs = nullptr;
    gdi::FreeDC(dc);
    std::vector<HWND> children;
    {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hwnd)) children = window->children;
    }
    for (HWND child : children) PaintTree(child);
}

}  // namespace

COLORREF SysColor(int index) {
    switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    case COLOR_3DLIGHT: return RGB(212, 208, 200);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    default: return RGB(212, 208, 200);
    }
}

void Invalidate(HWND hwnd) {
    std::lock_guard guard(Lock());
    if (Window* top = Find(TopLevelOf(hwnd))) top->dirty = true;
}

void PaintNow(HWND topLevel) {
    {
        std::lock_guard guard(Lock());
        Window* top = Find(topLevel);
        if (top == nullptr) return;
        top->dirty = false;
        if (top->surface == nullptr) {
            const int width = std::max<LONG>(1, top->rect.right - top->rect.left);
            const int height = std::max<LONG>(1, top->rect.bottom - top->rect.top);
            top->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        }
    }
    const bool visible = IsWindowVisible(topLevel);
    if (!visible) {
        // Drawn as if shown, for a picture of a hidden window.
        std::lock_guard guard(Lock());
        Find(topLevel)->style |= WS_VISIBLE;
    }
    PaintTree(topLevel);
    std::lock_guard guard(Lock());
    Window* top = Find(topLevel);
    if (top == nullptr) return;
    if (!visible) top->style &= ~WS_VISIBLE;
    cairo_surface_flush(top->surface);
    if (visible) DisplayPresent(*top);
}

void PaintPending() {
    for (HWND top : ThreadTopLevels(CurrentThread())) {
        bool paint = false;
        {
            std::lock_guard guard(Lock());
            Window* window = Find(top);
            paint = window && window->dirty && (window->style & WS_VISIBLE);
        }
        if (paint) PaintNow(top);
    }
}

bool WritePng(HWND topLevel, const std::string& path) {
    PaintNow(topLevel);
    std::lock_guard guard(Lock());
    Window* top = Find(topLevel);
    return top && top->surface && cairo_surface_write_to_png(top->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform::user

using namespace platform::user;

WINBASEAPI HDC WINAPI GetDC(HWND hWnd) {
    if (hWnd == nullptr) return platform::gdi::MakeDC(nullptr, 0, 0, RECT{}, nullptr);
    if (!IsWindow(hWnd)) return nullptr;
    return platform::user::ClientDC(hWnd);
}

WINBASEAPI int WINAPI ReleaseDC(HWND, HDC hDC) {
    platform::gdi::FreeDC(hDC);
    return 1;
}

WINBASEAPI HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (lpPaint == nullptr || !IsWindow(hWnd)) return nullptr;
    *lpPaint = PAINTSTRUCT{};
    HDC dc = nullptr;
    if (paintDCs) {
        auto it = paintDCs->find(hWnd);
        if (it != paintDCs->end()) dc = it->second;
    }
    if (dc == nullptr) {
        dc = platform::user::ClientDC(hWnd);
        lpPaint->fRestore = TRUE;  // ours to free in EndPaint
    }
    lpPaint->hdc = dc;
    GetClientRect(hWnd, &lpPaint->rcPaint);
    return dc;
}

WINBASEAPI BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* lpPaint) {
    if (lpPaint && lpPaint->fRestore) platform::gdi::FreeDC(lpPaint->hdc);
    return TRUE;
}

WINBASEAPI BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
    if (hWnd == nullptr) {
        for (HWND top : ThreadTopLevels(CurrentThread())) Invalidate(top);
        return TRUE;
    }
    if (!IsWindow(hWnd)) return FALSE;
    Invalidate(hWnd);
    return TRUE;
}

WINBASEAPI BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (!IsWindow(hWnd)) return FALSE;
    PaintPending();
    return TRUE;
}

WINBASEAPI DWORD WINAPI GetSysColor(int nIndex) { return SysColor(nIndex); }

WINBASEAPI HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    static std::mutex lock;
    static auto* brushes = new std::map<int, HBRUSH>;
    std::lock_guard guard(lock);
    HBRUSH& brush = (*brushes)[nIndex];
    if (brush == nullptr) {
        brush = CreateSolidBrush(SysColor(nIndex));
        if (auto* object = platform::gdi::Find(brush)) object->stock = true;
    }
    return brush;
}

WINBASEAPI LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_ERASEBKGND: {
        HBRUSH background = nullptr;
        {
            std::lock_guard guard(Lock());
            Window* window = Find(hWnd);
            if (window == nullptr) return 0;
            background = window->background;
        }
        if (background == nullptr) return 0;
        // A class brush given as a system colour index + 1.
        if (reinterpret_cast<uintptr_t>(background) <= 31)
            background = GetSysColorBrush(static_cast<int>(reinterpret_cast<uintptr_t>(background)) - 1);
        RECT client{};
        GetClientRect(hWnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, background);
        return 1;
    }
    case WM_SETTEXT: {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        window->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        Invalidate(hWnd);
        if (window->parent == nullptr) DisplayMoveWindow(*window);
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr || wParam == 0) return 0;
        const size_t n = std::min<size_t>(window->text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), window->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    case WM_SETFONT: {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hWnd)) window->font = reinterpret_cast<HFONT>(wParam);
        if (lParam) Invalidate(hWnd);
        return 0;
    }
    case WM_GETFONT: {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        return window ? reinterpret_cast<LRESULT>(window->font) : 0;
    }
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        SetBkColor(reinterpret_cast<HDC>(wParam), SysColor(COLOR_BTNFACE));
        SetTextColor(reinterpret_cast<HDC>(wParam), SysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default: return 0;
    }
}
