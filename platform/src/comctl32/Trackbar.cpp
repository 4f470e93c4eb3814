// The trackbar: range, position, line and page sizes, tick marks; the
// keyboard and the mouse move the thumb and tell the parent by WM_HSCROLL or
// WM_VSCROLL.
#include "user32/WindowManager.h"

#include <commctrl.h>

#include <algorithm>

namespace platform::user {
namespace {

struct Bar {
    int low = 0;
    int high = 100;
    int position = 0;
    int line = 1;
    int page = 20;
    int tickFrequency = 1;
    bool dragging = false;
};

Bar& State(HWND hwnd) { return ControlState<Bar>(hwnd); }

bool Vertical(HWND hwnd) { return (GetWindowLongA(hwnd, GWL_STYLE) & TBS_VERT) != 0; }

constexpr int kThumbLength = 10;
constexpr int kMargin = 8;

// Pixel span of the channel along the bar.
void Channel(HWND hwnd, int* start, int* length) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const int extent = Vertical(hwnd) ? client.bottom : client.right;
    *start = kMargin;
    *length = std::max(1, extent - 2 * kMargin);
}

int PixelOf(HWND hwnd, int position) {
    const Bar& b = State(hwnd);
    int start = 0, length = 0;
    Channel(hwnd, &start, &length);
    const int span = std::max(1, b.high - b.low);
    return start + (position - b.low) * length / span;
}

int PositionAt(HWND hwnd, int pixel) {
    const Bar& b = State(hwnd);
    int start = 0, length = 0;
    Channel(hwnd, &start, &length);
    const int span = std::max(1, b.high - b.low);
    return std::clamp(b.low + ((pixel - start) * span + length / 2) / length, b.low, b.high);
}

void Move(HWND hwnd, int position, int code) {
    Bar& b = State(hwnd);
    b.position = std::clamp(position, b.low, b.high);
    Invalidate(hwnd);
    const UINT message = Vertical(hwnd) ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(GetParent(hwnd), message, MAKELONG(code, code == TB_THUMBPOSITION || code == TB_THUMBTRACK ? b.position : 0),
                 reinterpret_cast<LPARAM>(hwnd));
}

void Paint(HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const Bar b = State(hwnd);
    const bool vertical = Vertical(hwnd);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
    const int across = vertical ? client.right : client.bottom;
    const int middle = std::min(across / 2, 12);
    int start = 0, length = 0;
    Channel(hwnd, &start, &length);
    // Channel: a sunken groove.
    RECT groove = vertical ? RECT{middle - 2, start, middle + 2, start + length} : RECT{start, middle - 2, start + length, middle + 2};
    FillRect(dc, &groove, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(dc, &groove, GetSysColorBrush(COLOR_BTNSHADOW));
    // Ticks on the far side of the thumb.
    if ((style & TBS_AUTOTICKS) && !(style & TBS_NOTICKS) && b.tickFrequency > 0) {
        HBRUSH tick = GetSysColorBrush(COLOR_WINDOWTEXT);
        for (int value = b.low; value <= b.high; value += b.tickFrequency) {
            const int at = PixelOf(hwnd, value);
            RECT mark = vertical ? RECT{middle + 10, at, middle + 14, at + 1} : RECT{at, middle + 10, at + 1, middle + 14};
            FillRect(dc, &mark, tick);
        }
    }
    // Thumb: a raised block centred on the position.
    const int at = PixelOf(hwnd, b.position);
    RECT thumb = vertical ? RECT{middle - 8, at - kThumbLength / 2, middle + 8, at + kThumbLength / 2 + 1}
                          : RECT{at - kThumbLength / 2, middle - 8, at + kThumbLength / 2 + 1, middle + 8};
    DrawFrameControl(dc, &thumb, DFC_BUTTON, DFCS_BUTTONPUSH);
    if (GetFocus() == hwnd) {
        RECT focus = client;
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace

LRESULT CALLBACK TrackbarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Bar& b = State(hwnd);
    switch (message) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ERASEBKGND: return 1;
    case TBM_GETPOS: return b.position;
    case TBM_GETRANGEMIN: return b.low;
    case TBM_GETRANGEMAX: return b.high;
    case TBM_SETPOS:
        b.position = std::clamp(static_cast<int>(lParam), b.low, b.high);
        Invalidate(hwnd);
        return 0;
    case TBM_SETRANGE:
        b.low = static_cast<SHORT>(LOWORD(lParam));
        b.high = static_cast<SHORT>(HIWORD(lParam));
        b.position = std::clamp(b.position, b.low, b.high);
        Invalidate(hwnd);
        return 0;
    case TBM_SETRANGEMIN: b.low = static_cast<int>(lParam); b.position = std::max(b.position, b.low); Invalidate(hwnd); return 0;
    case TBM_SETRANGEMAX: b.high = static_cast<int>(lParam); b.position = std::min(b.position, b.high); Invalidate(hwnd); return 0;
    case TBM_SETTICFREQ: b.tickFrequency = static_cast<int>(wParam); Invalidate(hwnd); return 0;
    case TBM_SETPAGESIZE: { const int previous = b.page; b.page = static_cast<int>(lParam); return previous; }
    case TBM_GETPAGESIZE: return b.page;
    case TBM_SETLINESIZE: { const int previous = b.line; b.line = static_cast<int>(lParam); return previous; }
    case TBM_GETLINESIZE: return b.line;
    case TBM_SETTIC:
    case TBM_CLEARTICS: return TRUE;
    case WM_KEYDOWN: {
        int code = -1, target = b.position;
        switch (wParam) {
        case VK_LEFT: case VK_UP: code = TB_LINEUP; target -= b.line; break;
        case VK_RIGHT: case VK_DOWN: code = TB_LINEDOWN; target += b.line; break;
        case VK_PRIOR: code = TB_PAGEUP; target -= b.page; break;
        case VK_NEXT: code = TB_PAGEDOWN; target += b.page; break;
        case VK_HOME: code = TB_TOP; target = b.low; break;
        case VK_END: code = TB_BOTTOM; target = b.high; break;
        default: return 0;
        }
        Move(hwnd, target, code);
        return 0;
    }
    case WM_KEYUP:
        if (wParam >= VK_PRIOR && wParam <= VK_DOWN) Move(hwnd, b.position, TB_ENDTRACK);
        return 0;
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        const int pixel = Vertical(hwnd) ? static_cast<SHORT>(HIWORD(lParam)) : static_cast<SHORT>(LOWORD(lParam));
        const int at = PixelOf(hwnd, b.position);
        if (std::abs(pixel - at) <= kThumbLength / 2) {
            b.dragging = true;
            SetCapture(hwnd);
        } else {
            Move(hwnd, b.position + (pixel < at ? -b.page : b.page), pixel < at ? TB_PAGEUP : TB_PAGEDOWN);
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (b.dragging) {
            const int pixel = Vertical(hwnd) ? static_cast<SHORT>(HIWORD(lParam)) : static_cast<SHORT>(LOWORD(lParam));
            Move(hwnd, PositionAt(hwnd, pixel), TB_THUMBTRACK);
        }
        return 0;
    case WM_LBUTTONUP:
        if (b.dragging) {
            b.dragging = false;
            ReleaseCapture();
            Move(hwnd, b.position, TB_THUMBPOSITION);
        }
        Move(hwnd, b.position, TB_ENDTRACK);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(hwnd); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Paint(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ProgressProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TabControlProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ToolTipProc(HWND, UINT, WPARAM, LPARAM);

void RegisterCommonControlClasses() {
    RegisterSystemClass(PROGRESS_CLASSA, ProgressProc, 0, nullptr);
    RegisterSystemClass(TRACKBAR_CLASSA, TrackbarProc, 0, nullptr);
    RegisterSystemClass(WC_TABCONTROLA, TabControlProc, 0, nullptr);
    RegisterSystemClass(TOOLTIPS_CLASSA, ToolTipProc, 0, nullptr);
}

}  // namespace platform::user

WINBASEAPI BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (picce == nullptr || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    platform::user::RegisterSystemClasses();
    return TRUE;
}

WINBASEAPI void WINAPI InitCommonControls(void) { platform::user::RegisterSystemClasses(); }
