// Scroll bars: a window's own bars beside its client area (hidden while
// there is nothing to scroll) and the "ScrollBar" control; ranges, page and
// position; the arrows, the track and the dragged thumb tell the window by
// WM_HSCROLL or WM_VSCROLL (a control tells its parent).
#include "user32/WindowManager.h"

#include <algorithm>

namespace platform::user {
namespace {

struct Tracking {
    HWND hwnd = nullptr;
    bool vertical = false;
    bool control = false;
    int grab = 0;  // pointer offset into the thumb along the bar
    RECT box{};    // the bar, in the coordinates the mouse messages use
};

thread_local Tracking tracking;

ScrollBar* BarOf(Window* window, int which) {
    if (window == nullptr) return nullptr;
    if (which == SB_CTL) return &window->hscroll;  // a control keeps its one bar here
    if (which == SB_HORZ) return &window->hscroll;
    if (which == SB_VERT) return &window->vscroll;
    return nullptr;
}

bool IsControlVertical(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_STYLE) & SBS_VERT) != 0; }

int MaxPos(const ScrollBar& bar) { return std::max(bar.min, bar.max - std::max<int>(static_cast<int>(bar.page) - 1, 0)); }

struct BarGeometry {
    int length = 0;      // along the bar
    int thumbStart = 0;  // from the bar's start
    int thumbLength = 0;
};

BarGeometry Measure(RECT box, const ScrollBar& bar, bool vertical) {
    BarGeometry parts;
    parts.length = vertical ? box.bottom - box.top : box.right - box.left;
    const int arrow = std::min(kScrollBarSize, parts.length / 2);
    const int track = std::max(0, parts.length - 2 * arrow);
    const int range = bar.max - bar.min + 1;
    parts.thumbLength = bar.page ? std::max(8, static_cast<int>(static_cast<int64_t>(track) * bar.page / std::max(1, range)))
                                 : std::min(kScrollBarSize, track);
    parts.thumbLength = std::min(parts.thumbLength, track);
    const int span = std::max(1, MaxPos(bar) - bar.min);
    parts.thumbStart = arrow + static_cast<int>(static_cast<int64_t>(track - parts.thumbLength) * (bar.pos - bar.min) / span);
    return parts;
}

void Arrow(HDC dc, RECT box, bool vertical, bool forward, bool enabled) {
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONPUSH);
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    HBRUSH ink = GetSysColorBrush(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    for (int i = 0; i < 4; ++i) {
        RECT line{};
        const int d = forward ? 3 - i : i;
        if (vertical) line = RECT{cx - d, cy - 2 + i, cx + d + 1, cy - 1 + i};
        else line = RECT{cx - 2 + i, cy - d, cx - 1 + i, cy + d + 1};
        FillRect(dc, &line, ink);
    }
}

void Send(HWND hwnd, bool vertical, bool control, WORD code, int pos) {
    const UINT message = vertical ? WM_VSCROLL : WM_HSCROLL;
    HWND target = control ? GetParent(hwnd) : hwnd;
    SendMessageA(target, message, MAKELONG(code, static_cast<WORD>(pos)), control ? reinterpret_cast<LPARAM>(hwnd) : 0);
}

// A press at `along` (from the bar's start): an arrow, the track or the thumb.
void Press(HWND hwnd, RECT box, const ScrollBar& bar, bool vertical, bool control, int along) {
    const BarGeometry parts = Measure(box, bar, vertical);
    const int arrow = std::min(kScrollBarSize, parts.length / 2);
    if (along < arrow) Send(hwnd, vertical, control, SB_LINEUP, 0);
    else if (along >= parts.length - arrow) Send(hwnd, vertical, control, SB_LINEDOWN, 0);
    else if (along < parts.thumbStart) Send(hwnd, vertical, control, SB_PAGEUP, 0);
    else if (along >= parts.thumbStart + parts.thumbLength) Send(hwnd, vertical, control, SB_PAGEDOWN, 0);
    else {
        tracking = Tracking{hwnd, vertical, control, along - parts.thumbStart, box};
        SetCapture(hwnd);
        return;
    }
    Send(hwnd, vertical, control, SB_ENDSCROLL, 0);
}

}  // namespace

RECT ScrollBarRect(const Window& window, bool vertical) {
    const bool has = vertical ? (window.style & WS_VSCROLL) && window.vscroll.shown
                              : (window.style & WS_HSCROLL) && window.hscroll.shown;
    if (!has || window.className == "ComboBox") return RECT{};
    const RECT client = ClientInWindow(window);
    if (vertical) return RECT{client.right, client.top, client.right + kScrollBarSize, client.bottom};
    return RECT{client.left, client.bottom, client.right, client.bottom + kScrollBarSize};
}

void DrawScrollBar(HDC dc, RECT box, const ScrollBar& bar, bool vertical, bool enabled) {
    enabled = enabled && !bar.disabled;
    // The track: a light checker of face and white.
    HBRUSH light = CreateSolidBrush(RGB(236, 233, 216));
    FillRect(dc, &box, light);
    DeleteObject(light);
    const BarGeometry parts = Measure(box, bar, vertical);
    const int arrow = std::min(kScrollBarSize, parts.length / 2);
    RECT first = box, last = box, thumb = box;
    if (vertical) {
        first.bottom = box.top + arrow;
        last.top = box.bottom - arrow;
        thumb.top = box.top + parts.thumbStart;
        thumb.bottom = thumb.top + parts.thumbLength;
    } else {
        first.right = box.left + arrow;
        last.left = box.right - arrow;
        thumb.left = box.left + parts.thumbStart;
        thumb.right = thumb.left + parts.thumbLength;
    }
    Arrow(dc, first, vertical, false, enabled);
    Arrow(dc, last, vertical, true, enabled);
    if (enabled && parts.thumbLength > 0) DrawFrameControl(dc, &thumb, DFC_BUTTON, DFCS_BUTTONPUSH);
}

bool ScrollBarPress(HWND hwnd, POINT inWindow) {
    ScrollBar bar;
    RECT box{};
    bool vertical = false;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        if (window == nullptr) return false;
        for (bool v : {true, false}) {
            const RECT r = ScrollBarRect(*window, v);
            if (PtInRect(&r, inWindow)) {
                box = r;
                vertical = v;
                bar = v ? window->vscroll : window->hscroll;
            }
        }
        if (box.right == box.left) return false;
        // Tracking works in client coordinates, as the mouse messages come.
        const RECT client = ClientInWindow(*window);
        OffsetRect(&box, -client.left, -client.top);
        inWindow.x -= client.left;
        inWindow.y -= client.top;
    }
    if (!bar.disabled) Press(hwnd, box, bar, vertical, false, vertical ? inWindow.y - box.top : inWindow.x - box.left);
    return true;
}

bool ScrollBarTrack(const MSG& msg) {
    if (tracking.hwnd == nullptr || msg.hwnd != tracking.hwnd) return false;
    if (msg.message != WM_MOUSEMOVE && msg.message != WM_LBUTTONUP) return false;
    const Tracking t = tracking;
    ScrollBar bar;
    {
        std::lock_guard guard(Lock());
        ScrollBar* found = BarOf(Find(t.hwnd), t.control ? SB_CTL : t.vertical ? SB_VERT : SB_HORZ);
        if (found == nullptr) {
            tracking = Tracking{};
            return false;
        }
        bar = *found;
    }
    const POINT point{static_cast<SHORT>(LOWORD(msg.lParam)), static_cast<SHORT>(HIWORD(msg.lParam))};
    const int along = (t.vertical ? point.y - t.box.top : point.x - t.box.left) - t.grab;
    const BarGeometry parts = Measure(t.box, bar, t.vertical);
    const int arrow = std::min(kScrollBarSize, parts.length / 2);
    const int free = std::max(1, parts.length - 2 * arrow - parts.thumbLength);
    const int pos = std::clamp(bar.min + static_cast<int>(static_cast<int64_t>(along - arrow) * (MaxPos(bar) - bar.min) / free),
                               bar.min, MaxPos(bar));
    {
        std::lock_guard guard(Lock());
        if (ScrollBar* found = BarOf(Find(t.hwnd), t.control ? SB_CTL : t.vertical ? SB_VERT : SB_HORZ)) found->track = pos;
    }
    if (msg.message == WM_MOUSEMOVE) {
        Send(t.hwnd, t.vertical, t.control, SB_THUMBTRACK, pos);
    } else {
        tracking = Tracking{};
        ReleaseCapture();
        Send(t.hwnd, t.vertical, t.control, SB_THUMBPOSITION, pos);
        Send(t.hwnd, t.vertical, t.control, SB_ENDSCROLL, 0);
    }
    return true;
}

LRESULT CALLBACK ScrollBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        std::lock_guard guard(Lock());
        Find(hwnd)->hscroll = ScrollBar{0, 0, 0, 0, 0, true, false};
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        ScrollBar bar;
        {
            std::lock_guard guard(Lock());
            bar = Find(hwnd)->hscroll;
        }
        DrawScrollBar(dc, client, bar, IsControlVertical(hwnd), IsWindowEnabled(hwnd));
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        RECT client{};
        GetClientRect(hwnd, &client);
        ScrollBar bar;
        {
            std::lock_guard guard(Lock());
            bar = Find(hwnd)->hscroll;
        }
        const bool vertical = IsControlVertical(hwnd);
        const int along = vertical ? static_cast<SHORT>(HIWORD(lParam)) : static_cast<SHORT>(LOWORD(lParam));
        Press(hwnd, client, bar, vertical, true, along);
        return 0;
    }
    case SBM_SETPOS: return SetScrollPos(hwnd, SB_CTL, static_cast<int>(wParam), static_cast<BOOL>(lParam));
    case SBM_GETPOS: return GetScrollPos(hwnd, SB_CTL);
    case SBM_SETRANGE: return SetScrollRange(hwnd, SB_CTL, static_cast<int>(wParam), static_cast<int>(lParam), FALSE);
    case SBM_SETSCROLLINFO:
        return SetScrollInfo(hwnd, SB_CTL, reinterpret_cast<const SCROLLINFO*>(lParam), static_cast<BOOL>(wParam));
    case SBM_GETSCROLLINFO: return GetScrollInfo(hwnd, SB_CTL, reinterpret_cast<SCROLLINFO*>(lParam));
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace platform::user

using namespace platform::user;

WINBASEAPI int WINAPI SetScrollInfo(HWND hwnd, int nBar, const SCROLLINFO* lpsi, BOOL redraw) {
    if (lpsi == nullptr) return 0;
    bool shownChanged = false;
    int pos = 0;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        ScrollBar* bar = BarOf(window, nBar);
        if (bar == nullptr) return 0;
        if (lpsi->fMask & SIF_RANGE) bar->min = lpsi->nMin, bar->max = lpsi->nMax;
        if (lpsi->fMask & SIF_PAGE) bar->page = std::min<UINT>(lpsi->nPage, static_cast<UINT>(bar->max - bar->min + 1));
        if (lpsi->fMask & SIF_POS) bar->pos = lpsi->nPos;
        bar->pos = std::clamp(bar->pos, bar->min, MaxPos(*bar));
        if (nBar != SB_CTL && (lpsi->fMask & (SIF_RANGE | SIF_PAGE))) {
            // Nothing to scroll: the bar goes, or stays disabled when asked to.
            const bool nothing = bar->max <= bar->min || static_cast<int>(bar->page) > bar->max - bar->min;
            const bool shown = !nothing || (lpsi->fMask & SIF_DISABLENOSCROLL);
            bar->disabled = nothing && shown;
            shownChanged = shown != bar->shown;
            bar->shown = shown;
        }
        pos = bar->pos;
    }
    if (shownChanged) {
        RECT client{};
        GetClientRect(hwnd, &client);
        SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
    }
    if (redraw || shownChanged) Invalidate(hwnd);
    return pos;
}

WINBASEAPI BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
    if (lpsi == nullptr) return FALSE;
    std::lock_guard guard(Lock());
    ScrollBar* bar = BarOf(Find(hwnd), nBar);
    if (bar == nullptr) return FALSE;
    if (lpsi->fMask & SIF_RANGE) lpsi->nMin = bar->min, lpsi->nMax = bar->max;
    if (lpsi->fMask & SIF_PAGE) lpsi->nPage = bar->page;
    if (lpsi->fMask & SIF_POS) lpsi->nPos = bar->pos;
    if (lpsi->fMask & SIF_TRACKPOS) lpsi->nTrackPos = bar->track;
    return TRUE;
}

WINBASEAPI int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
    int previous = 0;
    {
        std::lock_guard guard(Lock());
        ScrollBar* bar = BarOf(Find(hWnd), nBar);
        if (bar == nullptr) return 0;
        previous = bar->pos;
    }
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, nPos, 0};
    SetScrollInfo(hWnd, nBar, &info, bRedraw);
    return previous;
}

WINBASEAPI int WINAPI GetScrollPos(HWND hWnd, int nBar) {
    std::lock_guard guard(Lock());
    ScrollBar* bar = BarOf(Find(hWnd), nBar);
    return bar ? bar->pos : 0;
}

WINBASEAPI BOOL WINAPI SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
    SCROLLINFO info{sizeof info, SIF_RANGE, nMinPos, nMaxPos, 0, 0, 0};
    {
        std::lock_guard guard(Lock());
        if (BarOf(Find(hWnd), nBar) == nullptr) return FALSE;
    }
    SetScrollInfo(hWnd, nBar, &info, bRedraw);
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetScrollRange(HWND hWnd, int nBar, int* lpMinPos, int* lpMaxPos) {
    std::lock_guard guard(Lock());
    ScrollBar* bar = BarOf(Find(hWnd), nBar);
    if (bar == nullptr || lpMinPos == nullptr || lpMaxPos == nullptr) return FALSE;
    *lpMinPos = bar->min;
    *lpMaxPos = bar->max;
    return TRUE;
}

WINBASEAPI BOOL WINAPI ShowScrollBar(HWND hWnd, int wBar, BOOL bShow) {
    bool changed = false;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        for (int which : {SB_HORZ, SB_VERT}) {
            if (wBar != which && wBar != SB_BOTH) continue;
            ScrollBar* bar = BarOf(window, which);
            changed = changed || bar->shown != static_cast<bool>(bShow);
            bar->shown = bShow != FALSE;
        }
    }
    if (changed) {
        RECT client{};
        GetClientRect(hWnd, &client);
        SendMessageA(hWnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
        Invalidate(hWnd);
    }
    return TRUE;
}
