// The "Button" class: push and default push buttons, check boxes, radio
// buttons, group boxes and owner-drawn buttons in the classic look.
#include "user32/WindowManager.h"

#include <vector>

namespace platform::user {
namespace {

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool tracking = false;
};

ButtonState& State(HWND hwnd) { return ControlState<ButtonState>(hwnd); }

UINT Type(HWND hwnd) { return static_cast<UINT>(GetWindowLongA(hwnd, GWL_STYLE)) & BS_TYPEMASK; }

std::string Text(HWND hwnd) {
    std::lock_guard guard(Lock());
    return Find(hwnd)->text;
}

void Notify(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent) SendMessageA(parent, WM_COMMAND, MAKELONG(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

// The radio buttons of the group that holds `hwnd`.
std::vector<HWND> RadioGroup(HWND hwnd) {
    std::vector<HWND> group;
    HWND parent = GetParent(hwnd);
    std::vector<HWND> siblings;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) siblings.push_back(child);
    size_t start = 0;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (GetWindowLongA(siblings[i], GWL_STYLE) & WS_GROUP) start = i;
        if (siblings[i] == hwnd) break;
    }
    for (size_t i = start; i < siblings.size(); ++i) {
        if (i > start && (GetWindowLongA(siblings[i], GWL_STYLE) & WS_GROUP)) break;
        group.push_back(siblings[i]);
    }
    return group;
}

void Click(HWND hwnd) {
    if (!IsWindowEnabled(hwnd)) return;
    const UINT type = Type(hwnd);
    if (type == BS_AUTOCHECKBOX) {
        SendMessageA(hwnd, BM_SETCHECK, State(hwnd).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    } else if (type == BS_AUTORADIOBUTTON) {
        for (HWND other : RadioGroup(hwnd)) {
            std::string cls;
            {
                std::lock_guard guard(Lock());
                cls = Find(other)->className;
            }
            if (other != hwnd && cls == "Button" && Type(other) == BS_AUTORADIOBUTTON)
                SendMessageA(other, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    }
    Notify(hwnd, BN_CLICKED);
}

void Paint(HWND hwnd, HDC dc) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const UINT type = Type(hwnd);
    const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
    const ButtonState state = State(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    const bool focused = GetFocus() == hwnd;
    const std::string text = Text(hwnd);
    if (type == BS_OWNERDRAW) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = (state.pushed ? ODS_SELECTED : 0) | (enabled ? 0 : ODS_DISABLED) | (focused ? ODS_FOCUS : 0);
        item.hwndItem = hwnd;
        item.hDC = dc;
        item.rcItem = client;
        SendMessageA(GetParent(hwnd), WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
        return;
    }
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled ? SysColor(COLOR_BTNTEXT) : SysColor(COLOR_GRAYTEXT));
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (type == BS_GROUPBOX) {
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        RECT frame{client.left, client.top + tm.tmHeight / 2, client.right, client.bottom};
        HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW), light = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
        RECT outer{frame.left, frame.top, frame.right - 1, frame.bottom - 1};
        RECT inner{frame.left + 1, frame.top + 1, frame.right, frame.bottom};
        FrameRect(dc, &inner, light);
        FrameRect(dc, &outer, shadow);
        if (!text.empty()) {
            RECT label{client.left + 8, client.top, client.right - 8, client.top + tm.tmHeight};
            DrawTextA(dc, text.c_str(), -1, &label, DT_CALCRECT | DT_SINGLELINE);
            label.left -= 2;
            label.right += 2;
            FillRect(dc, &label, GetSysColorBrush(COLOR_BTNFACE));
            label.left += 2;
            DrawTextA(dc, text.c_str(), -1, &label, DT_LEFT | DT_SINGLELINE);
        }
    } else if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
        RECT face = client;
        if (type == BS_DEFPUSHBUTTON) {
            FrameRect(dc, &face, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            InflateRect(&face, -1, -1);
        }
        DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (state.pushed ? DFCS_PUSHED : 0));
        RECT label = face;
        if (state.pushed) OffsetRect(&label, 1, 1);
        if (!enabled) {
            RECT etch = label;
            OffsetRect(&etch, 1, 1);
            SetTextColor(dc, SysColor(COLOR_BTNHIGHLIGHT));
            DrawTextA(dc, text.c_str(), -1, &etch, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SetTextColor(dc, SysColor(COLOR_GRAYTEXT));
        }
        DrawTextA(dc, text.c_str(), -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (focused) {
            RECT focus = face;
            InflateRect(&focus, -3, -3);
            DrawFocusRect(dc, &focus);
        }
    } else {
        const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        const int box = 13;
        RECT mark{client.left, (client.top + client.bottom - box) / 2, client.left + box, 0};
        mark.bottom = mark.top + box;
        DrawFrameControl(dc, &mark, DFC_BUTTON,
                         (radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK) |
                             (state.check == BST_CHECKED ? DFCS_CHECKED : 0) | (enabled ? 0 : DFCS_INACTIVE) |
                             (state.pushed ? DFCS_PUSHED : 0));
        RECT label{client.left + box + 4, client.top, client.right, client.bottom};
        const UINT wrap = (style & 0x2000) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;  // BS_MULTILINE
        DrawTextA(dc, text.c_str(), -1, &label, DT_LEFT | wrap);
        if (focused) {
            RECT focus = label;
            DrawTextA(dc, text.c_str(), -1, &focus, DT_CALCRECT | DT_SINGLELINE);
            OffsetRect(&focus, 0, (client.bottom - focus.bottom) / 2);
            InflateRect(&focus, 1, 1);
            DrawFocusRect(dc, &focus);
        }
    }
    SelectObject(dc, oldFont);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        const UINT type = Type(hwnd);
        if (type == BS_GROUPBOX) return DLGC_STATIC;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        return DLGC_BUTTON;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Paint(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (Type(hwnd) == BS_GROUPBOX) return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        State(hwnd).pushed = State(hwnd).tracking = true;
        Invalidate(hwnd);
        return 0;
    case WM_LBUTTONUP: {
        ButtonState& state = State(hwnd);
        if (!state.tracking) return 0;
        state.tracking = state.pushed = false;
        ReleaseCapture();
        Invalidate(hwnd);
        RECT client{};
        GetClientRect(hwnd, &client);
        POINT point{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        if (PtInRect(&client, point)) Click(hwnd);
        return 0;
    }
    case WM_CHAR:
        if (wParam == ' ') Click(hwnd);
        return 0;
    case BM_CLICK: Click(hwnd); return 0;
    case BM_GETCHECK: return State(hwnd).check;
    case BM_SETCHECK:
        State(hwnd).check = static_cast<UINT>(wParam);
        Invalidate(hwnd);
        return 0;
    case BM_GETSTATE:
        return State(hwnd).check | (State(hwnd).pushed ? BST_PUSHED : 0) | (GetFocus() == hwnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
        State(hwnd).pushed = wParam != 0;
        Invalidate(hwnd);
        return 0;
    case BM_SETSTYLE: {
        const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
        SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((style & ~0xFFFF) | (wParam & 0xFFFF)));
        Invalidate(hwnd);
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        Invalidate(hwnd);
        return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

}  // namespace platform::user
