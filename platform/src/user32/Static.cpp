// The "Static" class: text (left, centred, right; wrapped), icons, frames
// and etched lines.
#include "user32/WindowManager.h"

namespace platform::user {

LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_ERASEBKGND: return 1;
    case WM_SETTEXT: {
        const LRESULT done = DefWindowProcA(hwnd, message, wParam, lParam);
        Invalidate(hwnd);
        return done;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
        const UINT type = style & SS_TYPEMASK;
        std::string text;
        HFONT font = nullptr;
        {
            std::lock_guard guard(Lock());
            Window* window = Find(hwnd);
            text = window->text;
            font = window->font;
        }
        HBRUSH background = reinterpret_cast<HBRUSH>(
            SendMessageA(GetParent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
        if (background == nullptr) background = GetSysColorBrush(COLOR_BTNFACE);
        if (type == SS_ETCHEDHORZ) {
            RECT dark{0, 0, client.right, 1}, light{0, 1, client.right, 2};
            FillRect(dc, &dark, GetSysColorBrush(COLOR_BTNSHADOW));
            FillRect(dc, &light, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        } else if (type == SS_ETCHEDFRAME || type == SS_BLACKFRAME) {
            FrameRect(dc, &client, GetSysColorBrush(type == SS_BLACKFRAME ? COLOR_WINDOWTEXT : COLOR_BTNSHADOW));
        } else if (type == SS_ICON) {
            FillRect(dc, &client, background);
            DrawIcon(dc, 0, 0, reinterpret_cast<HICON>(static_cast<uintptr_t>(std::atoi(text.c_str()))));
        } else {
            FillRect(dc, &client, background);
            HGDIOBJ old = SelectObject(dc, font ? font : DialogFont());
            SetBkMode(dc, TRANSPARENT);
            if (!IsWindowEnabled(hwnd)) SetTextColor(dc, SysColor(COLOR_GRAYTEXT));
            UINT format = DT_WORDBREAK | (style & SS_NOPREFIX ? DT_NOPREFIX : 0);
            if (type == SS_CENTER) format |= DT_CENTER;
            else if (type == SS_RIGHT) format |= DT_RIGHT;
            DrawTextA(dc, text.c_str(), -1, &client, format);
            SelectObject(dc, old);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace platform::user
