// The tab control: a row of tabs above a raised panel; a click or an arrow
// key selects a tab and tells the parent (TCN_SELCHANGING, which may refuse,
// then TCN_SELCHANGE).
#include "user32/WindowManager.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

namespace platform::user {
namespace {

struct Tab {
    std::string text;
    LPARAM param = 0;
};

struct Tabs {
    std::vector<Tab> items;
    int selected = -1;
};

Tabs& State(HWND hwnd) { return ControlState<Tabs>(hwnd); }

// Height of the row of tabs: the text and a margin.
int RowHeight(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return tm.tmHeight + 8;
}

// The tabs' rectangles in client coordinates, left to right; the selected
// one is drawn 2 pixels larger on each side.
std::vector<RECT> TabRects(HWND hwnd) {
    const Tabs& tabs = State(hwnd);
    std::vector<RECT> rects;
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, ControlFont(hwnd));
    const int row = RowHeight(hwnd);
    int x = 2;
    for (const Tab& tab : tabs.items) {
        SIZE size{};
        GetTextExtentPoint32A(dc, tab.text.c_str(), static_cast<int>(tab.text.size()), &size);
        const int width = std::max<int>(size.cx + 12, 40);
        rects.push_back(RECT{x, 2, x + width, row});
        x += width;
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return rects;
}

LRESULT Notify(HWND hwnd, UINT code) {
    NMHDR header{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), code};
    return SendMessageA(GetParent(hwnd), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

// The user picks a tab: the parent may refuse the change.
void Pick(HWND hwnd, int index) {
    Tabs& tabs = State(hwnd);
    if (index < 0 || index >= static_cast<int>(tabs.items.size()) || index == tabs.selected) return;
    if (Notify(hwnd, TCN_SELCHANGING)) return;
    if (!IsWindow(hwnd)) return;
    State(hwnd).selected = index;
    Invalidate(hwnd);
    Notify(hwnd, TCN_SELCHANGE);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, int color) {
    RECT r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    FillRect(dc, &r, GetSysColorBrush(color));
}

void Paint(HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const Tabs tabs = State(hwnd);
    const std::vector<RECT> rects = TabRects(hwnd);
    const int row = RowHeight(hwnd);
    // The panel: a raised edge below the row of tabs.
    const RECT panel{0, row, client.right, client.bottom};
    Line(dc, panel.left, panel.top, panel.right - 1, panel.top, COLOR_BTNHIGHLIGHT);
    Line(dc, panel.left, panel.top, panel.left, panel.bottom - 1, COLOR_BTNHIGHLIGHT);
    Line(dc, panel.left, panel.bottom - 1, panel.right - 1, panel.bottom - 1, COLOR_3DDKSHADOW);
    Line(dc, panel.right - 1, panel.top, panel.right - 1, panel.bottom - 1, COLOR_3DDKSHADOW);
    Line(dc, panel.left + 1, panel.bottom - 2, panel.right - 2, panel.bottom - 2, COLOR_BTNSHADOW);
    Line(dc, panel.right - 2, panel.top + 1, panel.right - 2, panel.bottom - 2, COLOR_BTNSHADOW);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, SysColor(COLOR_BTNTEXT));
    for (size_t i = 0; i < rects.size(); ++i) {
        RECT r = rects[i];
        const bool selected = static_cast<int>(i) == tabs.selected;
        if (selected) {
            r.left -= 2;
            r.right += 2;
            r.top -= 2;
            r.bottom += 1;  // over the panel's top edge
        }
        RECT face{r.left + 1, r.top + 1, r.right - 1, r.bottom};
        FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
        Line(dc, r.left, r.top + 2, r.left, r.bottom - 1, COLOR_BTNHIGHLIGHT);
        Line(dc, r.left + 1, r.top + 1, r.left + 1, r.top + 1, COLOR_BTNHIGHLIGHT);
        Line(dc, r.left + 2, r.top, r.right - 3, r.top, COLOR_BTNHIGHLIGHT);
        Line(dc, r.right - 2, r.top + 1, r.right - 2, r.top + 1, COLOR_3DDKSHADOW);
        Line(dc, r.right - 1, r.top + 2, r.right - 1, r.bottom - 1, COLOR_3DDKSHADOW);
        Line(dc, r.right - 2, r.top + 2, r.right - 2, r.bottom - 1, COLOR_BTNSHADOW);
        RECT label = r;
        if (!selected) label.top += 1;
        DrawTextA(dc, tabs.items[i].text.c_str(), -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (selected && GetFocus() == hwnd) {
            RECT focus{r.left + 3, r.top + 3, r.right - 3, r.bottom - 2};
            DrawFocusRect(dc, &focus);
        }
    }
    SelectObject(dc, oldFont);
}

void CopyItem(const Tab& tab, TCITEMA* item) {
    if (item->mask & TCIF_TEXT && item->pszText && item->cchTextMax > 0) {
        const size_t n = std::min<size_t>(tab.text.size(), static_cast<size_t>(item->cchTextMax) - 1);
        std::memcpy(item->pszText, tab.text.data(), n);
        item->pszText[n] = 0;
    }
    if (item->mask & TCIF_PARAM) item->lParam = tab.param;
}

}  // namespace

LRESULT CALLBACK TabControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Tabs& tabs = State(hwnd);
    const int count = static_cast<int>(tabs.items.size());
    switch (message) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ERASEBKGND: return 1;
    case TCM_GETITEMCOUNT: return count;
    case TCM_INSERTITEMA: {
        const auto* item = reinterpret_cast<const TCITEMA*>(lParam);
        if (item == nullptr) return -1;
        Tab tab;
        if ((item->mask & TCIF_TEXT) && item->pszText) tab.text = item->pszText;
        if (item->mask & TCIF_PARAM) tab.param = item->lParam;
        const int index = std::clamp(static_cast<int>(wParam), 0, count);
        tabs.items.insert(tabs.items.begin() + index, tab);
        if (tabs.selected < 0) tabs.selected = 0;
        else if (index <= tabs.selected) ++tabs.selected;
        Invalidate(hwnd);
        return index;
    }
    case TCM_SETITEMA:
    case TCM_GETITEMA: {
        auto* item = reinterpret_cast<TCITEMA*>(lParam);
        const int index = static_cast<int>(wParam);
        if (item == nullptr || index < 0 || index >= count) return FALSE;
        Tab& tab = tabs.items[static_cast<size_t>(index)];
        if (message == TCM_GETITEMA) {
            CopyItem(tab, item);
            return TRUE;
        }
        if ((item->mask & TCIF_TEXT) && item->pszText) tab.text = item->pszText;
        if (item->mask & TCIF_PARAM) tab.param = item->lParam;
        Invalidate(hwnd);
        return TRUE;
    }
    case TCM_DELETEITEM: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return FALSE;
        tabs.items.erase(tabs.items.begin() + index);
        if (tabs.selected == index) tabs.selected = -1;
        else if (tabs.selected > index) --tabs.selected;
        Invalidate(hwnd);
        return TRUE;
    }
    case TCM_DELETEALLITEMS:
        tabs.items.clear();
        tabs.selected = -1;
        Invalidate(hwnd);
        return TRUE;
    case TCM_GETCURSEL:
    case TCM_GETCURFOCUS: return tabs.selected;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        const int previous = tabs.selected;
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= count) return -1;
        tabs.selected = index;
        Invalidate(hwnd);
        return message == TCM_SETCURSEL ? previous : 0;
    }
    case TCM_GETITEMRECT: {
        const std::vector<RECT> rects = TabRects(hwnd);
        const int index = static_cast<int>(wParam);
        if (lParam == 0 || index < 0 || index >= static_cast<int>(rects.size())) return FALSE;
        *reinterpret_cast<RECT*>(lParam) = rects[static_cast<size_t>(index)];
        return TRUE;
    }
    case TCM_HITTEST: {
        auto* info = reinterpret_cast<TCHITTESTINFO*>(lParam);
        if (info == nullptr) return -1;
        const std::vector<RECT> rects = TabRects(hwnd);
        for (size_t i = 0; i < rects.size(); ++i) {
            if (PtInRect(&rects[i], info->pt)) {
                info->flags = TCHT_ONITEM;
                return static_cast<LRESULT>(i);
            }
        }
        info->flags = TCHT_NOWHERE;
        return -1;
    }
    case TCM_ADJUSTRECT: {
        // Display area <-> window rectangle: the row of tabs and the panel's edges.
        auto* r = reinterpret_cast<RECT*>(lParam);
        if (r == nullptr) return 0;
        const int row = RowHeight(hwnd);
        const int sign = wParam ? -1 : 1;
        r->left += sign * 4;
        r->right -= sign * 4;
        r->top += sign * (row + 4);
        r->bottom -= sign * 4;
        return 0;
    }
    case WM_LBUTTONDOWN: {
        TCHITTESTINFO info{{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))}, 0};
        const int index = static_cast<int>(SendMessageA(hwnd, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
        if (index < 0) return 0;
        SetFocus(hwnd);
        Pick(hwnd, index);
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_UP) Pick(hwnd, tabs.selected - 1);
        else if (wParam == VK_RIGHT || wParam == VK_DOWN) Pick(hwnd, tabs.selected + 1);
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

}  // namespace platform::user
