// Message boxes: recorded for tests; answered at once from the queued test
// answers; otherwise shown as a dialog (icon, word-wrapped text, buttons with
// the default one framed) for the scripted user or a person on a display;
// headless without a script they take the default button.
#include "core/Controls.h"
#include "user32/Display.h"
#include "user32/ScriptedUser.h"
#include "user32/WindowManager.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace platform::user {
namespace {

// The buttons of each box type, in order.
constexpr std::array<std::array<int, 3>, 6> kButtons{{
    {IDOK, 0, 0},
    {IDOK, IDCANCEL, 0},
    {IDABORT, IDRETRY, IDIGNORE},
    {IDYES, IDNO, IDCANCEL},
    {IDYES, IDNO, 0},
    {IDRETRY, IDCANCEL, 0},
}};

const char* Label(int id) {
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "&Abort";
    case IDRETRY: return "&Retry";
    case IDIGNORE: return "&Ignore";
    case IDYES: return "&Yes";
    case IDNO: return "&No";
    default: return "";
    }
}

int DefaultButton(UINT type) {
    const UINT kind = type & MB_TYPEMASK;
    if (kind >= kButtons.size()) return IDOK;
    const auto& buttons = kButtons[kind];
    const UINT index = (type & MB_DEFMASK) >> 8;
    if (index < buttons.size() && buttons[index] != 0) return buttons[index];
    return buttons[0];
}

std::vector<int> ButtonsOf(UINT type) {
    const UINT kind = (type & MB_TYPEMASK) < kButtons.size() ? type & MB_TYPEMASK : 0;
    std::vector<int> ids;
    for (int id : kButtons[kind])
        if (id) ids.push_back(id);
    return ids;
}

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return FALSE;
    if (message != WM_COMMAND) return FALSE;
    int id = LOWORD(wParam);
    if (GetDlgItem(hwnd, id) == nullptr || !IsWindowVisible(GetDlgItem(hwnd, id))) {
        // Escape or the close box without a Cancel button: a lone OK answers.
        if (id != IDCANCEL) return TRUE;
        if (GetDlgItem(hwnd, IDOK) && !GetDlgItem(hwnd, IDNO)) id = IDOK;
        else return TRUE;
    }
    EndDialog(hwnd, id);
    return TRUE;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '"') out += "\\\"";
        else out += c;
    }
    return out;
}

HWND BuildBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    constexpr int kMargin = 12, kIcon = 32, kButtonWidth = 75, kButtonHeight = 23, kGap = 6, kMaxText = 420;
    const UINT icon = type & MB_ICONMASK;
    const std::vector<int> buttons = ButtonsOf(type);
    const int defaultId = DefaultButton(type);

    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, DialogFont());
    RECT textBox{0, 0, kMaxText, 0};
    DrawTextA(dc, text.c_str(), -1, &textBox, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);

    const int textLeft = kMargin + (icon ? kIcon + kMargin : 0);
    const int textHeight = std::max<int>(textBox.bottom, icon ? kIcon : 0);
    const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonWidth + kGap) - kGap;
    const int clientWidth = std::max<int>(textLeft + textBox.right + kMargin, buttonsWidth + 2 * kMargin);
    const int buttonTop = kMargin + textHeight + kMargin + 4;
    const int clientHeight = buttonTop + kButtonHeight + kMargin;

    Window probe;
    probe.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    probe.rect = RECT{0, 0, 1000, 1000};
    const RECT client = ClientInWindow(probe);
    const int width = clientWidth + 1000 - (client.right - client.left);
    const int height = clientHeight + 1000 - (client.bottom - client.top);
    RECT area{0, 0, 1280, 1024};
    if (owner) GetWindowRect(owner, &area);
    const int x = std::max<int>(0, area.left + (area.right - area.left - width) / 2);
    const int y = std::max<int>(0, area.top + (area.bottom - area.top - height) / 2);

    HWND box = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                               x, y, width, height, owner, nullptr, nullptr, nullptr);
    if (box == nullptr) return nullptr;
    auto info = std::make_shared<DialogInfo>();
    info->messageBox = true;
    info->font = DialogFont();
    info->defaultId = defaultId;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(box);
        window->dialog = info;
        window->font = DialogFont();
    }
    SetWindowLongPtrA(box, static_cast<int>(sizeof(LRESULT)), reinterpret_cast<LONG_PTR>(&BoxProc));

    if (icon) {
        const int resource = icon == MB_ICONHAND ? 32513 : icon == MB_ICONQUESTION ? 32514 : icon == MB_ICONEXCLAMATION ? 32515 : 32516;
        CreateWindowExA(0, "Static", std::to_string(resource).c_str(), WS_CHILD | WS_VISIBLE | SS_ICON, kMargin,
                        kMargin, kIcon, kIcon, box, reinterpret_cast<HMENU>(static_cast<uintptr_t>(20)), nullptr,
                        nullptr);
    }
    const int textTop = kMargin + (textHeight - textBox.bottom) / 2;
    HWND label = CreateWindowExA(0, "Static", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textLeft,
                                 textTop, textBox.right + 1, textBox.bottom, box,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(0xFFFF)), nullptr, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    int left = (clientWidth - buttonsWidth) / 2;
    HWND focus = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int id = buttons[i];
        HWND button = CreateWindowExA(
            0, "Button", Label(id),
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0u) | (id == defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
            left, buttonTop, kButtonWidth, kButtonHeight, box, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)),
            nullptr, nullptr);
        SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
        if (id == defaultId) focus = button;
        left += kButtonWidth + kGap;
    }
    SendMessageA(box, WM_INITDIALOG, 0, 0);
    if (focus) SetFocus(focus);
    return box;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

WINBASEAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if (platform::FailNow("MessageBoxA")) return 0;
    const std::string text = lpText ? lpText : "";
    const std::string caption = lpCaption ? lpCaption : "Error";
    auto answer = platform::RecordMessageBox(text, caption, uType);
    char type[16];
    std::snprintf(type, sizeof type, "0x%x", uType);
    UiLog(std::string("box ") + type + " \"" + Escaped(caption) + "\" \"" + Escaped(text) + "\"");
    if (answer) return *answer;
    if (!ScriptActive() && !DisplayEnabled()) return DefaultButton(uType);
    HWND owner = hWnd ? TopLevelOf(hWnd) : nullptr;
    HWND box = BuildBox(owner, text, caption, uType);
    if (box == nullptr) return 0;
    const INT_PTR result = RunModal(box, owner);
    UiLog("answer " + std::to_string(result));
    return static_cast<int>(result);
}

WINBASEAPI BOOL WINAPI MessageBeep(UINT uType) {
    platform::RecordMessageBeep(uType);
    return TRUE;
}
