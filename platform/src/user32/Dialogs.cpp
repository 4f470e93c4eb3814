// Dialogs: windows of the dialog class built from templates in dialog units,
// the dialog procedure's default handling, modal loops and the dialog
// manager's keyboard interface.
#include "user32/Display.h"
#include "user32/WindowManager.h"

#include "core/Controls.h"
#include "user32/ScriptedUser.h"

#include <prsht.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::user {

void RegisterCommonControlClasses();

namespace {

constexpr int kDlgProcOffset = static_cast<int>(sizeof(LRESULT));
constexpr int kDialogExtra = static_cast<int>(sizeof(LRESULT)) * 3;

class TemplateReader {
public:
    explicit TemplateReader(const uint8_t* at) : at_(at) {}
    uint16_t Word() {
        uint16_t value;
        std::memcpy(&value, at_, 2);
        at_ += 2;
        return value;
    }
    // A string or an ordinal (0xFFFF + value): the ordinal as "#n".
    std::string StringOrOrdinal(uint16_t* ordinal = nullptr) {
        uint16_t first = Word();
        if (first == 0xFFFF) {
            const uint16_t value = Word();
            if (ordinal) *ordinal = value;
            return "#" + std::to_string(value);
        }
        std::u16string text;
        while (first != 0) {
            text += static_cast<char16_t>(first);
            first = Word();
        }
        return Ansi(text);
    }
    void AlignTo(size_t n, const uint8_t* base) {
        while ((at_ - base) % n) ++at_;
    }
    const uint8_t* At() const { return at_; }
    void Skip(size_t n) { at_ += n; }

private:
    static std::string Ansi(const std::u16string& text) {
        std::string out;
        for (char16_t c : text) out += c < 0x100 ? static_cast<char>(c) : '?';
        return out;
    }
    const uint8_t* at_;
};

int Units(int value, int base, int divisor) {
    return static_cast<int>(std::lround(static_cast<double>(value) * base / divisor));
}

HFONT MakeFont(int points, bool bold) {
    return CreateFontA(-static_cast<int>(std::lround(points * 96.0 / 72.0)), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0,
                       0, 0, 0, 0, 0, 0, "MS Shell Dlg");
}

void BaseUnits(HFONT font, int* x, int* y) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SIZE size{};
    GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    *x = (size.cx / 26 + 1) / 2;
    *y = tm.tmHeight;
}

std::shared_ptr<DialogInfo> InfoOf(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hwnd);
    return window ? window->dialog : nullptr;
}

UINT DlgCode(HWND hwnd, MSG* msg) {
    return static_cast<UINT>(SendMessageA(hwnd, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg)));
}

// A control that can take the focus once its dialog shows.
bool Usable(HWND hwnd) {
    const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

// The controls of a dialog in tab order; a visible child that is a control
// parent itself (a property page) gives its own controls in its place.
void CollectControls(HWND dialog, std::vector<HWND>& controls) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE));
        if ((exStyle & WS_EX_CONTROLPARENT) && GetWindow(child, GW_CHILD)) {
            if (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE) CollectControls(child, controls);
            continue;
        }
        controls.push_back(child);
    }
}

std::vector<HWND> Controls(HWND dialog) {
    std::vector<HWND> controls;
    CollectControls(dialog, controls);
    return controls;
}

void SetDefaultButton(HWND dialog, HWND newFocus) {
    // Focus on a push button makes it the default one; elsewhere the
    // dialog's default comes back.
    auto info = InfoOf(dialog);
    if (!info) return;
    const UINT code = newFocus ? DlgCode(newFocus, nullptr) : 0;
    for (HWND control : Controls(dialog)) {
        const UINT controlCode = DlgCode(control, nullptr);
        if (!(controlCode & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) continue;
        bool isDefault = false;
        if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) isDefault = control == newFocus;
        else isDefault = GetDlgCtrlID(control) == info->defaultId;
        const bool wasDefault = (controlCode & DLGC_DEFPUSHBUTTON) != 0;
        if (isDefault != wasDefault) SendMessageA(control, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

void FocusControl(HWND dialog, HWND control) {
    SetFocus(control);
    SetDefaultButton(dialog, control);
}

void PressButton(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control && !IsWindowEnabled(control)) return;
    SendMessageA(dialog, WM_COMMAND, MAKELONG(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

}  // namespace

HFONT DialogFont() {
    static HFONT font = MakeFont(8, false);
    return font;
}

HFONT ControlFont(HWND hwnd) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    return font ? font : DialogFont();
}

LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(hwnd, message, wParam, lParam);
}

void RegisterSystemClasses() {
    static const bool done = [] {
        RegisterSystemClass("Button", ButtonProc, 0, nullptr);
        RegisterSystemClass("Static", StaticProc, 0, nullptr);
        RegisterSystemClass("ComboBox", ComboBoxProc, 0, nullptr);
        RegisterSystemClass("ComboLBox", ComboListProc, 0, nullptr);
        RegisterSystemClass("ScrollBar", ScrollBarProc, 0, nullptr);
        RegisterSystemClass("#32768", MenuPopupProc, 0, nullptr);
        RegisterSystemClass("#32770", DialogClassProc, kDialogExtra,
                            reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1)));
        RegisterCommonControlClasses();
        return true;
    }();
    (void)done;
}

TemplateFacts ReadTemplateFacts(const void* templ) {
    TemplateFacts facts;
    if (templ == nullptr) return facts;
    const uint8_t* base = static_cast<const uint8_t*>(templ);
    DLGTEMPLATE header;
    std::memcpy(&header, base, sizeof header);
    TemplateReader reader(base + sizeof header);
    reader.StringOrOrdinal();  // menu
    reader.StringOrOrdinal();  // class
    facts.style = header.style;
    facts.caption = reader.StringOrOrdinal();
    HFONT font = DialogFont();
    if (header.style & DS_SETFONT) {
        const int points = reader.Word();
        font = points == 8 ? DialogFont() : MakeFont(points, false);
    }
    int baseX = 6, baseY = 13;
    BaseUnits(font, &baseX, &baseY);
    if (font != DialogFont()) DeleteObject(font);
    facts.client = SIZE{Units(header.cx, baseX, 4), Units(header.cy, baseY, 8)};
    return facts;
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const void* templ, HWND parent, DLGPROC proc, LPARAM param,
                              int resourceId, const DWORD* style, DWORD exStyle) {
    if (templ == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const uint8_t* base = static_cast<const uint8_t*>(templ);
    DLGTEMPLATE header;
    std::memcpy(&header, base, sizeof header);
    if (style) header.style = *style;
    header.dwExtendedStyle |= exStyle;
    TemplateReader reader(base + sizeof header);
    reader.StringOrOrdinal();  // menu
    const std::string className = reader.StringOrOrdinal();
    const std::string title = reader.StringOrOrdinal();
    HFONT font = DialogFont();
    if (header.style & DS_SETFONT) {
        const int points = reader.Word();
        reader.StringOrOrdinal();  // face: every face is the platform's one font
        font = points == 8 ? DialogFont() : MakeFont(points, false);
    }
    int baseX = 6, baseY = 13;
    BaseUnits(font, &baseX, &baseY);

    auto info = std::make_shared<DialogInfo>();
    info->resourceId = resourceId;
    info->font = font;
    info->baseX = baseX;
    info->baseY = baseY;

    // The window: its client area is the template's size.
    Window probe;
    probe.parent = (header.style & WS_CHILD) ? parent : nullptr;
    probe.style = header.style;
    probe.exStyle = header.dwExtendedStyle;
    probe.rect = RECT{0, 0, 1000, 1000};
    const RECT client = ClientInWindow(probe);
    const int width = Units(header.cx, baseX, 4) + (1000 - (client.right - client.left));
    const int height = Units(header.cy, baseY, 8) + (1000 - (client.bottom - client.top));
    // Dialogs open centred on their owner, or on the screen; a child dialog
    // sits where its template puts it.
    const bool child = (header.style & WS_CHILD) != 0;
    HWND owner = parent ? (child ? parent : TopLevelOf(parent)) : nullptr;
    RECT area = ScreenArea();
    if (owner && !child) GetWindowRect(owner, &area);
    int x = std::max<int>(0, area.left + (area.right - area.left - width) / 2);
    int y = std::max<int>(0, area.top + (area.bottom - area.top - height) / 2);
    if (child) x = Units(header.x, baseX, 4), y = Units(header.y, baseY, 8);
    const DWORD visible = header.style & WS_VISIBLE;
    HWND dialog = CreateWindowExA(header.dwExtendedStyle, className.empty() ? "#32770" : className.c_str(),
                                  title.c_str(), header.style & ~WS_VISIBLE, x, y, width, height, owner, nullptr,
                                  instance, nullptr);
    if (dialog == nullptr) return nullptr;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(dialog);
        window->dialog = info;
        window->font = font;
        if (window->extra.size() < static_cast<size_t>(kDialogExtra)) window->extra.resize(kDialogExtra);
    }
    SetWindowLongPtrA(dialog, kDlgProcOffset, reinterpret_cast<LONG_PTR>(proc));

    // The controls.
    for (int i = 0; i < header.cdit; ++i) {
        reader.AlignTo(4, base);
        DLGITEMTEMPLATE item;
        std::memcpy(&item, reader.At(), sizeof item);
        reader.Skip(sizeof item);
        uint16_t ordinal = 0;
        std::string itemClass = reader.StringOrOrdinal(&ordinal);
        if (itemClass[0] == '#') {
            switch (ordinal) {
            case 0x80: itemClass = "Button"; break;
            case 0x81: itemClass = "Edit"; break;
            case 0x82: itemClass = "Static"; break;
            case 0x83: itemClass = "ListBox"; break;
            case 0x84: itemClass = "ScrollBar"; break;
            case 0x85: itemClass = "ComboBox"; break;
            default: break;
            }
        }
        const std::string itemText = reader.StringOrOrdinal();
        const uint16_t extra = reader.Word();
        reader.Skip(extra);
        HWND control = CreateWindowExA(item.dwExtendedStyle, itemClass.c_str(), itemText.c_str(),
                                       (item.style | WS_CHILD) & ~WS_POPUP, Units(item.x, baseX, 4),
                                       Units(item.y, baseY, 8), Units(item.cx, baseX, 4), Units(item.cy, baseY, 8),
                                       dialog, reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)), instance,
                                       nullptr);
        if (control == nullptr) {
            DebugLine("platform: dialog control of class " + itemClass + " could not be made");
            continue;
        }
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && itemClass == "Button") info->defaultId = item.id;
    }

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    // A hidden child dialog (a page not yet shown) leaves the focus alone.
    const bool mayFocus = !child || visible;
    if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) && first && mayFocus)
        FocusControl(dialog, first);
    if (visible && IsWindow(dialog)) ShowWindow(dialog, SW_SHOW);
    return dialog;
}

INT_PTR RunModal(HWND dialog, HWND owner, bool sheet) {
    auto info = InfoOf(dialog);
    if (!info) return -1;
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    if (!info->ended) {
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
    }
    ScriptDialogShown(dialog);
    EnterModal();
    MSG msg;
    while (!info->ended) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // WM_QUIT ends the loop and is left for the outer one.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        const bool taken = sheet ? SendMessageA(dialog, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(&msg)) != 0
                                 : IsDialogMessageA(dialog, &msg) != 0;
        if (!taken) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!IsWindow(dialog)) break;
    }
    LeaveModal();
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    const INT_PTR result = info->result;
    if (IsWindow(dialog)) DestroyWindow(dialog);
    if (owner && IsWindow(owner)) SetActiveWindow(owner);
    return result;
}

}  // namespace platform::user

using namespace platform::user;

namespace {

const void* TemplateResource(HINSTANCE instance, LPCSTR name) {
    HRSRC found = FindResourceA(instance, name, RT_DIALOG);
    if (found == nullptr) return nullptr;
    return LockResource(LoadResource(instance, found));
}

int ResourceNumber(LPCSTR name) {
    return IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : 0;
}

}  // namespace

WINBASEAPI HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return CreateDialogFromTemplate(hInstance, lpTemplate, hWndParent, lpDialogFunc, dwInitParam, 0);
}

WINBASEAPI HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    const void* templ = TemplateResource(hInstance, lpTemplateName);
    if (templ == nullptr) return nullptr;
    return CreateDialogFromTemplate(hInstance, templ, hWndParent, lpDialogFunc, dwInitParam,
                                    ResourceNumber(lpTemplateName));
}

WINBASEAPI INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND owner = hWndParent ? TopLevelOf(hWndParent) : nullptr;
    HWND dialog = CreateDialogFromTemplate(hInstance, hDialogTemplate, owner, lpDialogFunc, dwInitParam, 0);
    return dialog ? RunModal(dialog, owner) : -1;
}

WINBASEAPI INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    const void* templ = TemplateResource(hInstance, lpTemplateName);
    if (templ == nullptr) return -1;
    HWND owner = hWndParent ? TopLevelOf(hWndParent) : nullptr;
    HWND dialog =
        CreateDialogFromTemplate(hInstance, templ, owner, lpDialogFunc, dwInitParam, ResourceNumber(lpTemplateName));
    return dialog ? RunModal(dialog, owner) : -1;
}

WINBASEAPI BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    auto info = InfoOf(hDlg);
    if (!info) return FALSE;
    info->ended = true;
    info->result = nResult;
    // The window goes when its modal loop ends; until then it is hidden.
    ShowWindow(hDlg, SW_HIDE);
    // A loop waiting for messages wakes up to see it.
    PostMessageA(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

WINBASEAPI HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == nIDDlgItem) return child;
    return nullptr;
}

WINBASEAPI BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SetWindowTextA(control, lpString) : FALSE;
}

WINBASEAPI UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (control == nullptr) {
        if (lpString && cchMax > 0) *lpString = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, lpString, cchMax));
}

WINBASEAPI LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SendMessageA(control, Msg, wParam, lParam) : 0;
}

WINBASEAPI BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    return SendDlgItemMessageA(hDlg, nIDButton, BM_SETCHECK, uCheck, 0) == 0 && GetDlgItem(hDlg, nIDButton);
}

WINBASEAPI UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    return static_cast<UINT>(SendDlgItemMessageA(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

WINBASEAPI BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
        SendDlgItemMessageA(hDlg, id, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

WINBASEAPI HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    std::vector<HWND> controls = Controls(hDlg);
    if (controls.empty()) return nullptr;
    if (bPrevious) std::reverse(controls.begin(), controls.end());
    auto start = std::find(controls.begin(), controls.end(), hCtl);
    const size_t n = controls.size();
    size_t index = start == controls.end() ? n - 1 : static_cast<size_t>(start - controls.begin());
    for (size_t step = 1; step <= n; ++step) {
        HWND candidate = controls[(index + step) % n];
        if ((GetWindowLongA(candidate, GWL_STYLE) & WS_TABSTOP) && Usable(candidate)) {
            // In a radio group the tab stops at the checked button.
            if (DlgCode(candidate, nullptr) & DLGC_RADIOBUTTON) {
                for (HWND member = candidate; member; member = GetNextDlgGroupItem(hDlg, member, FALSE)) {
                    if (SendMessageA(member, BM_GETCHECK, 0, 0) == BST_CHECKED) return member;
                    if (GetNextDlgGroupItem(hDlg, member, FALSE) == candidate) break;
                }
            }
            return candidate;
        }
    }
    return hCtl;
}

WINBASEAPI HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    std::vector<HWND> controls = Controls(hDlg);
    auto at = std::find(controls.begin(), controls.end(), hCtl);
    if (at == controls.end()) return nullptr;
    // The group: from the control with WS_GROUP at or before hCtl up to the next one.
    size_t start = static_cast<size_t>(at - controls.begin());
    while (start > 0 && !(GetWindowLongA(controls[start], GWL_STYLE) & WS_GROUP)) --start;
    size_t end = static_cast<size_t>(at - controls.begin()) + 1;
    while (end < controls.size() && !(GetWindowLongA(controls[end], GWL_STYLE) & WS_GROUP)) ++end;
    std::vector<HWND> group(controls.begin() + static_cast<long>(start), controls.begin() + static_cast<long>(end));
    if (bPrevious) std::reverse(group.begin(), group.end());
    size_t index = static_cast<size_t>(std::find(group.begin(), group.end(), hCtl) - group.begin());
    for (size_t step = 1; step <= group.size(); ++step) {
        HWND candidate = group[(index + step) % group.size()];
        if (Usable(candidate)) return candidate;
    }
    return hCtl;
}

WINBASEAPI BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (lpMsg == nullptr || hDlg == nullptr) return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_CHAR) return FALSE;
    HWND focus = GetFocus();
    const UINT code = focus && IsChild(hDlg, focus) ? DlgCode(focus, lpMsg) : 0;
    if (code & DLGC_WANTALLKEYS) return FALSE;
    if (lpMsg->message == WM_CHAR) {
        if (lpMsg->wParam == '\t' || lpMsg->wParam == '\r' || lpMsg->wParam == 27) return TRUE;
        return FALSE;
    }
    const bool shift = false;
    switch (lpMsg->wParam) {
    case VK_TAB: {
        if (code & DLGC_WANTTAB) return FALSE;
        HWND next = GetNextDlgTabItem(hDlg, focus, shift || (lpMsg->lParam & 0x1000000) != 0);
        if (next) FocusControl(hDlg, next);
        return TRUE;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
        if (code & DLGC_WANTARROWS) return FALSE;
        if (focus == nullptr) return TRUE;
        HWND next = GetNextDlgGroupItem(hDlg, focus, lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP);
        if (next && next != focus) {
            FocusControl(hDlg, next);
            // Arrows in a radio group check the button they reach.
            if (DlgCode(next, nullptr) & DLGC_RADIOBUTTON) {
                const UINT type = static_cast<UINT>(GetWindowLongA(next, GWL_STYLE)) & BS_TYPEMASK;
                if (type == BS_AUTORADIOBUTTON) SendMessageA(next, BM_CLICK, 0, 0);
            }
        }
        return TRUE;
    }
    case VK_RETURN: {
        int id = IDOK;
        if (code & DLGC_DEFPUSHBUTTON) {
            id = GetDlgCtrlID(focus);
        } else {
            const LRESULT def = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
            if (HIWORD(def) == DC_HASDEFID) id = LOWORD(def);
        }
        PressButton(hDlg, id);
        return TRUE;
    }
    case VK_ESCAPE: PressButton(hDlg, IDCANCEL); return TRUE;
    case VK_SPACE:
        if (focus && (code & DLGC_BUTTON)) {
            SendMessageA(focus, BM_CLICK, 0, 0);
            return TRUE;
        }
        return FALSE;
    default: break;
    }
    // Other keys go to the focused control.
    if (focus) SendMessageA(focus, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    return TRUE;
}

WINBASEAPI BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    auto info = InfoOf(hDlg);
    if (!info || lpRect == nullptr) return FALSE;
    lpRect->left = Units(lpRect->left, info->baseX, 4);
    lpRect->right = Units(lpRect->right, info->baseX, 4);
    lpRect->top = Units(lpRect->top, info->baseY, 8);
    lpRect->bottom = Units(lpRect->bottom, info->baseY, 8);
    return TRUE;
}

WINBASEAPI LONG WINAPI GetDialogBaseUnits(void) {
    int x = 6, y = 13;
    BaseUnits(DialogFont(), &x, &y);
    return MAKELONG(x, y);
}

WINBASEAPI LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const DLGPROC proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hDlg, kDlgProcOffset));
    if (proc) {
        SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, 0);
        const INT_PTR handled = proc(hDlg, Msg, wParam, lParam);
        if (handled) {
            switch (Msg) {
            case WM_INITDIALOG:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORDLG: return handled;
            default: return IsWindow(hDlg) ? GetWindowLongPtrA(hDlg, DWLP_MSGRESULT) : 0;
            }
        }
    }
    auto info = InfoOf(hDlg);
    switch (Msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE:
        PressButton(hDlg, IDCANCEL);
        return 0;
    case DM_GETDEFID: return info ? MAKELONG(info->defaultId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (info) info->defaultId = static_cast<int>(wParam);
        SetDefaultButton(hDlg, GetFocus());
        return TRUE;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_TIMER: return 0;
    case WM_SETFOCUS: {
        HWND first = GetNextDlgTabItem(hDlg, nullptr, FALSE);
        if (first) FocusControl(hDlg, first);
        return 0;
    }
    default: return DefWindowProcA(hDlg, Msg, wParam, lParam);
    }
}
