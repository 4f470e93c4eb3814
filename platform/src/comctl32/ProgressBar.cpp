// The progress bar: a range, a position and the classic blocks.
#include "user32/WindowManager.h"

#include <commctrl.h>

#include <algorithm>

namespace platform::user {
namespace {

struct Progress {
    int low = 0;
    int high = 100;
    int position = 0;
    int step = 10;
};

Progress& State(HWND hwnd) { return ControlState<Progress>(hwnd); }

LRESULT SetPosition(HWND hwnd, int position) {
    Progress& p = State(hwnd);
    const int previous = p.position;
    p.position = std::clamp(position, p.low, std::max(p.low, p.high));
    if (p.position != previous) Invalidate(hwnd);
    return previous;
}

}  // namespace

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case PBM_SETRANGE: {
        Progress& p = State(hwnd);
        const LRESULT previous = MAKELONG(p.low, p.high);
        p.low = LOWORD(lParam);
        p.high = HIWORD(lParam);
        SetPosition(hwnd, p.position);
        return previous;
    }
    case PBM_SETRANGE32: {
        Progress& p = State(hwnd);
        const LRESULT previous = MAKELONG(p.low, p.high);
        p.low = static_cast<int>(wParam);
        p.high = static_cast<int>(lParam);
        SetPosition(hwnd, p.position);
        return previous;
    }
    case PBM_GETRANGE: return wParam ? State(hwnd).low : State(hwnd).high;
    case PBM_SETPOS: return SetPosition(hwnd, static_cast<int>(wParam));
    case PBM_DELTAPOS: return SetPosition(hwnd, State(hwnd).position + static_cast<int>(wParam));
    case PBM_SETSTEP: {
        const int previous = State(hwnd).step;
        State(hwnd).step = static_cast<int>(wParam);
        return previous;
    }
    case PBM_STEPIT: {
        Progress& p = State(hwnd);
        int next = p.position + p.step;
        if (next > p.high) next = p.low + (next - p.high);
        return SetPosition(hwnd, next);
    }
    case PBM_GETPOS: return State(hwnd).position;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        const Progress p = State(hwnd);
        RECT inner = client;
        InflateRect(&inner, -1, -1);
        const int span = std::max(1, p.high - p.low);
        const int filled = (inner.right - inner.left) * (p.position - p.low) / span;
        const int block = std::max(2, (inner.bottom - inner.top) * 2 / 3);
        HBRUSH bar = GetSysColorBrush(COLOR_HIGHLIGHT);
        for (int x = inner.left; x < inner.left + filled; x += block + 2) {
            RECT piece{x, inner.top, std::min<LONG>(x + block, inner.right), inner.bottom};
            FillRect(dc, &piece, bar);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace platform::user
