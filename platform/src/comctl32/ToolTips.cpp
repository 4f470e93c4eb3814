// Tooltips: a popup that shows a tool's text when the mouse rests on the
// tool. The mouse messages reach it relayed (TTM_RELAYEVENT) or, for tools
// added with TTF_SUBCLASS, from the tool's window itself; the delays run on
// window timers, so on the platform clock.
#include "user32/WindowManager.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace platform::user {
namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kHideTimer = 2;

struct Tool {
    UINT flags = 0;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    RECT rect{};
    std::string text;
    LPARAM param = 0;
};

struct Tips {
    std::vector<Tool> tools;
    bool active = true;
    int current = -1;  // the tool under the mouse
    bool shown = false;
    bool quiet = false;  // a click hid the tip: not again until the mouse leaves the tool
    UINT initial = 500;
    UINT autopop = 5000;
    UINT reshow = 100;
    int maxWidth = -1;
    POINT cursor{};  // on the screen, where the mouse last was
};

Tips& State(HWND hwnd) { return ControlState<Tips>(hwnd); }

HWND ToolWindow(const Tool& tool) {
    return (tool.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(tool.id) : tool.hwnd;
}

int FindTool(const Tips& tips, HWND hwnd, UINT_PTR id) {
    for (size_t i = 0; i < tips.tools.size(); ++i)
        if (tips.tools[i].hwnd == hwnd && tips.tools[i].id == id) return static_cast<int>(i);
    return -1;
}

std::string TextOf(const TOOLINFOA& info) {
    if (info.lpszText == nullptr || info.lpszText == LPSTR_TEXTCALLBACKA) return {};
    if (IS_INTRESOURCE(info.lpszText)) {
        char buffer[512] = {};
        LoadStringA(info.hinst, static_cast<UINT>(reinterpret_cast<uintptr_t>(info.lpszText)), buffer, sizeof buffer);
        return buffer;
    }
    return info.lpszText;
}

bool ValidInfo(const TOOLINFOA* info) { return info && info->cbSize >= TTTOOLINFOA_V1_SIZE; }

// Tools added with TTF_SUBCLASS: their windows' procedures, relayed.
struct Subclass {
    WNDPROC previous = nullptr;
    HWND tips = nullptr;
};

std::map<HWND, Subclass>& Subclasses() {
    static auto* subclasses = new std::map<HWND, Subclass>;
    return *subclasses;
}

LRESULT CALLBACK RelayingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Subclass subclass;
    {
        std::lock_guard guard(Lock());
        auto it = Subclasses().find(hwnd);
        if (it == Subclasses().end()) return DefWindowProcA(hwnd, message, wParam, lParam);
        subclass = it->second;
        if (message == WM_NCDESTROY) Subclasses().erase(it);
    }
    if ((message >= WM_MOUSEMOVE && message <= WM_RBUTTONDBLCLK) && IsWindow(subclass.tips)) {
        MSG msg{hwnd, message, wParam, lParam, 0, {}};
        SendMessageA(subclass.tips, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
    return CallWindowProcA(subclass.previous, hwnd, message, wParam, lParam);
}

void Hide(HWND hwnd, Tips& tips) {
    KillTimer(hwnd, kShowTimer);
    KillTimer(hwnd, kHideTimer);
    if (tips.shown) {
        tips.shown = false;
        ShowWindow(hwnd, SW_HIDE);
    }
}

HFONT TipFont() { return DialogFont(); }

// The tip's size for its text: one line, or wrapped at the maximum width.
SIZE TipSize(HWND hwnd, const Tips& tips, const std::string& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, TipFont());
    RECT box{0, 0, tips.maxWidth > 0 ? tips.maxWidth : 10000, 0};
    const UINT prefix = (GetWindowLongA(hwnd, GWL_STYLE) & TTS_NOPREFIX) ? DT_NOPREFIX : 0;
    DrawTextA(dc, text.c_str(), -1, &box, DT_CALCRECT | prefix | (tips.maxWidth > 0 ? DT_WORDBREAK : 0));
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{box.right - box.left + 8, box.bottom - box.top + 6};
}

void Show(HWND hwnd, Tips& tips) {
    if (!tips.active || tips.current < 0 || tips.current >= static_cast<int>(tips.tools.size())) return;
    const std::string text = tips.tools[static_cast<size_t>(tips.current)].text;
    if (text.empty()) return;
    const SIZE size = TipSize(hwnd, tips, text);
    // Below the pointer, where the cursor's arrow ends.
    MoveWindow(hwnd, tips.cursor.x, tips.cursor.y + 20, size.cx, size.cy, FALSE);
    tips.shown = true;
    ShowWindow(hwnd, SW_SHOWNA);
    Invalidate(hwnd);
    SetTimer(hwnd, kHideTimer, tips.autopop, nullptr);
}

void Relay(HWND hwnd, const MSG& msg) {
    Tips& tips = State(hwnd);
    if (msg.message != WM_MOUSEMOVE) {
        if (msg.message >= WM_LBUTTONDOWN && msg.message <= WM_RBUTTONDBLCLK) {
            Hide(hwnd, tips);
            tips.quiet = true;
        }
        return;
    }
    POINT point{static_cast<SHORT>(LOWORD(msg.lParam)), static_cast<SHORT>(HIWORD(msg.lParam))};
    tips.cursor = point;
    ClientToScreen(msg.hwnd, &tips.cursor);
    int under = -1;
    for (size_t i = 0; i < tips.tools.size() && under < 0; ++i) {
        const Tool& tool = tips.tools[i];
        if (tool.flags & TTF_IDISHWND) {
            if (ToolWindow(tool) == msg.hwnd) under = static_cast<int>(i);
        } else if (tool.hwnd == msg.hwnd && PtInRect(&tool.rect, point)) {
            under = static_cast<int>(i);
        }
    }
    if (under == tips.current) {
        if (under >= 0 && !tips.shown && !tips.quiet) SetTimer(hwnd, kShowTimer, tips.initial, nullptr);
        return;
    }
    const bool wasShown = tips.shown;
    Hide(hwnd, tips);
    tips.current = under;
    tips.quiet = false;
    if (under >= 0) SetTimer(hwnd, kShowTimer, wasShown ? tips.reshow : tips.initial, nullptr);
}

void Paint(HWND hwnd, HDC dc) {
    const Tips& tips = State(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    HBRUSH back = CreateSolidBrush(RGB(255, 255, 225));
    FillRect(dc, &client, back);
    DeleteObject(back);
    FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (tips.current < 0 || tips.current >= static_cast<int>(tips.tools.size())) return;
    HGDIOBJ old = SelectObject(dc, TipFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text{client.left + 4, client.top + 3, client.right - 4, client.bottom - 3};
    const UINT prefix = (GetWindowLongA(hwnd, GWL_STYLE) & TTS_NOPREFIX) ? DT_NOPREFIX : 0;
    DrawTextA(dc, tips.tools[static_cast<size_t>(tips.current)].text.c_str(), -1, &text,
              DT_LEFT | prefix | (tips.maxWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
}

}  // namespace

LRESULT CALLBACK ToolTipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Tips& tips = State(hwnd);
    switch (message) {
    case WM_CREATE: {
        // Never a frame or a caption of its own.
        std::lock_guard guard(Lock());
        Find(hwnd)->style &= ~(WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_VISIBLE);
        return 0;
    }
    case TTM_ADDTOOLA: {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        if (!ValidInfo(info)) return FALSE;
        Tool tool;
        tool.flags = info->uFlags;
        tool.hwnd = info->hwnd;
        tool.id = info->uId;
        tool.rect = info->rect;
        tool.text = TextOf(*info);
        if (info->cbSize > TTTOOLINFOA_V1_SIZE) tool.param = info->lParam;
        const int existing = FindTool(tips, tool.hwnd, tool.id);
        if (existing >= 0) tips.tools[static_cast<size_t>(existing)] = tool;
        else tips.tools.push_back(tool);
        HWND window = ToolWindow(tool);
        if ((tool.flags & TTF_SUBCLASS) && IsWindow(window)) {
            std::lock_guard guard(Lock());
            if (!Subclasses().count(window)) {
                Subclass subclass{reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), hwnd};
                Subclasses()[window] = subclass;
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RelayingProc));
            }
        }
        return TRUE;
    }
    case TTM_DELTOOLA: {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        if (!ValidInfo(info)) return 0;
        const int at = FindTool(tips, info->hwnd, info->uId);
        if (at < 0) return 0;
        if (at == tips.current) Hide(hwnd, tips), tips.current = -1;
        else if (at < tips.current) --tips.current;
        tips.tools.erase(tips.tools.begin() + at);
        return 0;
    }
    case TTM_UPDATETIPTEXTA:
    case TTM_NEWTOOLRECTA:
    case TTM_SETTOOLINFOA: {
        const auto* info = reinterpret_cast<const TOOLINFOA*>(lParam);
        if (!ValidInfo(info)) return 0;
        const int at = FindTool(tips, info->hwnd, info->uId);
        if (at < 0) return 0;
        Tool& tool = tips.tools[static_cast<size_t>(at)];
        if (message != TTM_NEWTOOLRECTA) tool.text = TextOf(*info);
        if (message != TTM_UPDATETIPTEXTA) tool.rect = info->rect;
        if (message == TTM_SETTOOLINFOA) tool.flags = info->uFlags;
        if (at == tips.current && tips.shown) Show(hwnd, tips);
        return 0;
    }
    case TTM_GETTOOLINFOA:
    case TTM_GETTEXTA: {
        auto* info = reinterpret_cast<TOOLINFOA*>(lParam);
        if (!ValidInfo(info)) return FALSE;
        const int at = FindTool(tips, info->hwnd, info->uId);
        if (at < 0) return FALSE;
        const Tool& tool = tips.tools[static_cast<size_t>(at)];
        // The caller's buffer is assumed to hold 80 characters, as documented.
        if (info->lpszText && info->lpszText != LPSTR_TEXTCALLBACKA && !IS_INTRESOURCE(info->lpszText)) {
            const size_t n = std::min<size_t>(tool.text.size(), 79);
            std::memcpy(info->lpszText, tool.text.data(), n);
            info->lpszText[n] = 0;
        }
        if (message == TTM_GETTOOLINFOA) {
            info->uFlags = tool.flags;
            info->rect = tool.rect;
            if (info->cbSize > TTTOOLINFOA_V1_SIZE) info->lParam = tool.param;
        }
        return TRUE;
    }
    case TTM_GETTOOLCOUNT: return static_cast<LRESULT>(tips.tools.size());
    case TTM_ACTIVATE:
        tips.active = wParam != 0;
        if (!tips.active) Hide(hwnd, tips);
        return 0;
    case TTM_SETDELAYTIME: {
        const UINT ms = static_cast<UINT>(static_cast<SHORT>(LOWORD(lParam)) < 0 ? 500 : LOWORD(lParam));
        switch (wParam) {
        case TTDT_AUTOMATIC: tips.initial = ms, tips.autopop = ms * 10, tips.reshow = ms / 5; break;
        case TTDT_INITIAL: tips.initial = ms; break;
        case TTDT_AUTOPOP: tips.autopop = ms; break;
        case TTDT_RESHOW: tips.reshow = ms; break;
        default: break;
        }
        return 0;
    }
    case TTM_GETDELAYTIME:
        switch (wParam) {
        case TTDT_INITIAL: return tips.initial;
        case TTDT_AUTOPOP: return tips.autopop;
        case TTDT_RESHOW: return tips.reshow;
        default: return tips.initial;
        }
    case TTM_SETMAXTIPWIDTH: {
        const int previous = tips.maxWidth;
        tips.maxWidth = static_cast<int>(lParam);
        return previous;
    }
    case TTM_GETMAXTIPWIDTH: return tips.maxWidth;
    case TTM_POP: Hide(hwnd, tips); return 0;
    case TTM_UPDATE:
        if (tips.shown) Show(hwnd, tips);
        return 0;
    case TTM_RELAYEVENT:
        if (lParam) Relay(hwnd, *reinterpret_cast<const MSG*>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kShowTimer) {
            KillTimer(hwnd, kShowTimer);
            Show(hwnd, tips);
        } else if (wParam == kHideTimer) {
            Hide(hwnd, tips);
            tips.quiet = true;
        }
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Paint(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY: {
        // Tools' windows still relaying to this tooltip go back to their own procedures.
        std::lock_guard guard(Lock());
        for (auto it = Subclasses().begin(); it != Subclasses().end();) {
            if (it->second.tips == hwnd) {
                if (Window* window = Find(it->first)) window->proc = it->second.previous;
                it = Subclasses().erase(it);
            } else {
                ++it;
            }
        }
        return 0;
    }
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace platform::user
