// The "ComboBox" class as a drop-down list (CBS_DROPDOWNLIST): a field that
// shows the selected entry and a button; the list drops in a popup window
// below it. The keyboard moves the selection when closed; a pick by the
// user tells the parent (CBN_SELCHANGE), CB_SETCURSEL does not.
#include "user32/WindowManager.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace platform::user {
namespace {

constexpr int kButtonWidth = 16;

struct Entry {
    std::string text;
    LPARAM data = 0;
};

struct Combo {
    std::vector<Entry> entries;
    int selected = -1;
    int highlighted = -1;  // in the dropped list
    int top = 0;           // first entry the dropped list shows
    int droppedHeight = 0; // the height given at creation: field and list
    HWND list = nullptr;   // the popup while dropped
};

Combo& State(HWND hwnd) { return ControlState<Combo>(hwnd); }

int ItemHeight(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return tm.tmHeight + 2;
}

int FieldHeight(HWND hwnd) { return ItemHeight(hwnd) + 6; }

void Notify(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent) SendMessageA(parent, WM_COMMAND, MAKELONG(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

int VisibleRows(HWND hwnd) {
    const Combo& combo = State(hwnd);
    const int rows = std::max(1, (combo.droppedHeight - FieldHeight(hwnd) - 2) / ItemHeight(hwnd));
    return std::min<int>(rows, std::max<int>(1, static_cast<int>(combo.entries.size())));
}

void KeepVisible(HWND hwnd) {
    Combo& combo = State(hwnd);
    const int rows = VisibleRows(hwnd);
    if (combo.highlighted < combo.top) combo.top = std::max(0, combo.highlighted);
    if (combo.highlighted >= combo.top + rows) combo.top = combo.highlighted - rows + 1;
}

// The user's choice: selection, redraw and the parent told when it changed.
void Choose(HWND hwnd, int index) {
    Combo& combo = State(hwnd);
    if (index < 0 || index >= static_cast<int>(combo.entries.size()) || index == combo.selected) return;
    combo.selected = index;
    Invalidate(hwnd);
    Notify(hwnd, CBN_SELCHANGE);
}

LRESULT CALLBACK ListProc(HWND, UINT, WPARAM, LPARAM);

void Drop(HWND hwnd) {
    Combo& combo = State(hwnd);
    if (combo.list || combo.entries.empty()) return;
    Notify(hwnd, CBN_DROPDOWN);
    RECT field{};
    GetWindowRect(hwnd, &field);
    const int height = VisibleRows(hwnd) * ItemHeight(hwnd) + 2;
    HWND list = CreateWindowExA(WS_EX_TOPMOST, "ComboLBox", "", WS_POPUP | WS_BORDER, field.left, field.bottom,
                                field.right - field.left, height, hwnd, nullptr, nullptr, nullptr);
    if (list == nullptr) return;
    SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hwnd));
    State(hwnd).list = list;
    State(hwnd).highlighted = std::max(0, combo.selected);
    KeepVisible(hwnd);
    ShowWindow(list, SW_SHOW);
    SetCapture(list);
    Invalidate(hwnd);
}

void CloseUp(HWND hwnd, bool accept) {
    Combo& combo = State(hwnd);
    HWND list = combo.list;
    if (list == nullptr) return;
    combo.list = nullptr;
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
    SetActiveWindow(TopLevelOf(hwnd));
    Invalidate(hwnd);
    if (accept) {
        Choose(hwnd, State(hwnd).highlighted);
        Notify(hwnd, CBN_SELENDOK);
    } else {
        Notify(hwnd, CBN_SELENDCANCEL);
    }
    Notify(hwnd, CBN_CLOSEUP);
}

void PaintArrow(HDC dc, RECT box, bool enabled) {
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    HBRUSH ink = GetSysColorBrush(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    for (int row = 0; row < 4; ++row) {
        RECT line{cx - 3 + row, cy - 2 + row, cx + 4 - row, cy - 1 + row};
        FillRect(dc, &line, ink);
    }
}

void PaintField(HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const Combo combo = State(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    // Sunken edge, field, button.
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT outer = client;
    FrameRect(dc, &outer, GetSysColorBrush(COLOR_BTNSHADOW));
    RECT bottomRight{outer.left, outer.bottom - 1, outer.right, outer.bottom};
    FillRect(dc, &bottomRight, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    bottomRight = RECT{outer.right - 1, outer.top, outer.right, outer.bottom};
    FillRect(dc, &bottomRight, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    RECT inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    FrameRect(dc, &inner, GetSysColorBrush(COLOR_3DDKSHADOW));
    RECT field{inner.left + 1, inner.top + 1, inner.right - 1 - kButtonWidth, inner.bottom - 1};
    FillRect(dc, &field, GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    RECT button{field.right, field.top, inner.right - 1, field.bottom};
    DrawFrameControl(dc, &button, DFC_BUTTON, DFCS_BUTTONPUSH | (combo.list ? DFCS_PUSHED : 0));
    PaintArrow(dc, button, enabled);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
    SetBkMode(dc, TRANSPARENT);
    const bool focused = GetFocus() == hwnd && !combo.list;
    RECT selection{field.left + 1, field.top + 1, field.right - 1, field.bottom - 1};
    if (focused) FillRect(dc, &selection, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, SysColor(!enabled ? COLOR_GRAYTEXT : focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    if (combo.selected >= 0 && combo.selected < static_cast<int>(combo.entries.size())) {
        RECT text = selection;
        text.left += 2;
        DrawTextA(dc, combo.entries[static_cast<size_t>(combo.selected)].text.c_str(), -1, &text,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (focused) DrawFocusRect(dc, &selection);
    SelectObject(dc, oldFont);
}

void PaintList(HWND list, HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(list, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    const Combo combo = State(hwnd);
    const int itemHeight = ItemHeight(hwnd);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
    SetBkMode(dc, TRANSPARENT);
    for (int i = combo.top, y = 0; i < static_cast<int>(combo.entries.size()) && y < client.bottom;
         ++i, y += itemHeight) {
        RECT row{0, y, client.right, y + itemHeight};
        const bool lit = i == combo.highlighted;
        if (lit) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, SysColor(lit ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        row.left += 3;
        DrawTextA(dc, combo.entries[static_cast<size_t>(i)].text.c_str(), -1, &row,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = reinterpret_cast<HWND>(GetWindowLongPtrA(list, GWLP_USERDATA));
    if (hwnd == nullptr || !IsWindow(hwnd)) return DefWindowProcA(list, message, wParam, lParam);
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(list, &ps);
        PaintList(list, hwnd, dc);
        EndPaint(list, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_LBUTTONDOWN: {
        RECT client{};
        GetClientRect(list, &client);
        POINT point{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        if (!PtInRect(&client, point)) {
            if (message == WM_LBUTTONDOWN) CloseUp(hwnd, false);
            return 0;
        }
        Combo& combo = State(hwnd);
        const int index = combo.top + point.y / ItemHeight(hwnd);
        if (index < static_cast<int>(combo.entries.size()) && index != combo.highlighted) {
            combo.highlighted = index;
            Invalidate(list);
        }
        if (message == WM_LBUTTONUP) CloseUp(hwnd, true);
        return 0;
    }
    default: return DefWindowProcA(list, message, wParam, lParam);
    }
}

int FindEntry(const Combo& combo, int start, const char* text, bool exact) {
    if (text == nullptr) return CB_ERR;
    const size_t n = std::strlen(text);
    const int count = static_cast<int>(combo.entries.size());
    for (int step = 1; step <= count; ++step) {
        const int i = (start + step + count) % count;
        const std::string& entry = combo.entries[static_cast<size_t>(i)].text;
        if (exact ? ::strcasecmp(entry.c_str(), text) == 0 : ::strncasecmp(entry.c_str(), text, n) == 0) return i;
    }
    return CB_ERR;
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Combo& combo = State(hwnd);
    const int count = static_cast<int>(combo.entries.size());
    switch (message) {
    case WM_CREATE: {
        // The template's height includes the dropped list; the window is the field.
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        combo.droppedHeight = create->cy;
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        window->rect.bottom = window->rect.top + FieldHeight(hwnd);
        return 0;
    }
    case WM_SETFONT: {
        DefWindowProcA(hwnd, message, wParam, lParam);
        std::lock_guard guard(Lock());
        Window* window = Find(hwnd);
        window->rect.bottom = window->rect.top + FieldHeight(hwnd);
        Invalidate(hwnd);
        return 0;
    }
    case WM_GETDLGCODE: return combo.list ? DLGC_WANTALLKEYS : DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintField(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        Entry entry;
        if (lParam) entry.text = reinterpret_cast<const char*>(lParam);
        int index = message == CB_ADDSTRING ? count : static_cast<int>(wParam);
        if (index < 0 || index > count) index = count;
        if (message == CB_ADDSTRING && (GetWindowLongA(hwnd, GWL_STYLE) & CBS_SORT)) {
            index = 0;
            while (index < count && ::strcasecmp(combo.entries[static_cast<size_t>(index)].text.c_str(),
                                                 entry.text.c_str()) <= 0)
                ++index;
        }
        combo.entries.insert(combo.entries.begin() + index, entry);
        if (combo.selected >= index) ++combo.selected;
        Invalidate(hwnd);
        return index;
    }
    case CB_DELETESTRING: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return CB_ERR;
        combo.entries.erase(combo.entries.begin() + index);
        if (combo.selected == index) combo.selected = -1;
        else if (combo.selected > index) --combo.selected;
        Invalidate(hwnd);
        return count - 1;
    }
    case CB_RESETCONTENT:
        combo.entries.clear();
        combo.selected = combo.highlighted = -1;
        combo.top = 0;
        Invalidate(hwnd);
        return CB_OKAY;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return combo.selected;
    case CB_SETCURSEL: {
        const int index = static_cast<int>(wParam);
        combo.selected = index >= 0 && index < count ? index : -1;
        Invalidate(hwnd);
        return index >= 0 && index < count ? index : CB_ERR;
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return CB_ERR;
        const std::string& text = combo.entries[static_cast<size_t>(index)].text;
        if (message == CB_GETLBTEXT && lParam) std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
        return static_cast<LRESULT>(text.size());
    }
    case CB_GETITEMDATA:
    case CB_SETITEMDATA: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return CB_ERR;
        if (message == CB_GETITEMDATA) return combo.entries[static_cast<size_t>(index)].data;
        combo.entries[static_cast<size_t>(index)].data = lParam;
        return TRUE;
    }
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
        if (count == 0) return CB_ERR;
        return FindEntry(combo, static_cast<int>(wParam), reinterpret_cast<const char*>(lParam),
                         message == CB_FINDSTRINGEXACT);
    case CB_SELECTSTRING: {
        if (count == 0) return CB_ERR;
        const int index = FindEntry(combo, static_cast<int>(wParam), reinterpret_cast<const char*>(lParam), false);
        if (index != CB_ERR) {
            combo.selected = index;
            Invalidate(hwnd);
        }
        return index;
    }
    case CB_GETITEMHEIGHT: return ItemHeight(hwnd);
    case CB_SHOWDROPDOWN:
        if (wParam) Drop(hwnd);
        else CloseUp(hwnd, false);
        return TRUE;
    case CB_GETDROPPEDSTATE: return combo.list != nullptr;
    case WM_GETTEXT: {
        if (wParam == 0 || lParam == 0) return 0;
        const std::string text = combo.selected >= 0 ? combo.entries[static_cast<size_t>(combo.selected)].text : "";
        const size_t n = std::min<size_t>(text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return combo.selected >= 0 ? static_cast<LRESULT>(combo.entries[static_cast<size_t>(combo.selected)].text.size())
                                   : 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        if (State(hwnd).list) CloseUp(hwnd, false);
        else Drop(hwnd);
        return 0;
    case WM_KEYDOWN: {
        const bool dropped = combo.list != nullptr;
        int target = dropped ? combo.highlighted : combo.selected;
        switch (wParam) {
        case VK_UP:
        case VK_LEFT: target = std::max(0, target - 1); break;
        case VK_DOWN:
        case VK_RIGHT: target = std::min(count - 1, target + 1); break;
        case VK_PRIOR: target = std::max(0, target - VisibleRows(hwnd)); break;
        case VK_NEXT: target = std::min(count - 1, target + VisibleRows(hwnd)); break;
        case VK_HOME: target = 0; break;
        case VK_END: target = count - 1; break;
        case VK_F4:
            if (dropped) CloseUp(hwnd, true);
            else Drop(hwnd);
            return 0;
        case VK_RETURN:
            if (dropped) CloseUp(hwnd, true);
            return 0;
        case VK_ESCAPE:
            if (dropped) CloseUp(hwnd, false);
            return 0;
        default: return 0;
        }
        if (count == 0) return 0;
        if (dropped) {
            combo.highlighted = target;
            KeepVisible(hwnd);
            Invalidate(combo.list);
        } else {
            Choose(hwnd, target);
        }
        return 0;
    }
    case WM_SETFOCUS:
        Invalidate(hwnd);
        Notify(hwnd, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        if (combo.list) CloseUp(hwnd, false);
        Invalidate(hwnd);
        Notify(hwnd, CBN_KILLFOCUS);
        return 0;
    case WM_ENABLE: Invalidate(hwnd); return 0;
    case WM_DESTROY:
        if (combo.list) {
            HWND list = combo.list;
            combo.list = nullptr;
            DestroyWindow(list);
        }
        return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ComboListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    return ListProc(list, message, wParam, lParam);
}

}  // namespace platform::user
