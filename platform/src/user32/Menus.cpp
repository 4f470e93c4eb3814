// Menus: menus built in code (items, separators, grey and checked items,
// submenus) and TrackPopupMenu's popup, which runs its own loop until an
// item is chosen with the mouse or the keyboard, or the popup is dismissed.
#include "user32/ScriptedUser.h"
#include "user32/WindowManager.h"

#include <algorithm>
#include <cstring>
#include <set>

struct HMENU__;

namespace platform::user {
namespace {

struct Item {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::string text;
    HMENU submenu = nullptr;
};

struct Menu {
    std::vector<Item> items;
};

constexpr UINT kChooseMessage = WM_USER + 0x1F0;  // the scripted user picks item wParam

std::mutex& MenusLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::set<Menu*>& LiveMenus() {
    static auto* menus = new std::set<Menu*>;
    return *menus;
}

Menu* MenuOf(HMENU handle) {
    std::lock_guard guard(MenusLock());
    Menu* menu = reinterpret_cast<Menu*>(handle);
    return LiveMenus().count(menu) ? menu : nullptr;
}

HMENU NewMenu() {
    auto* menu = new Menu;
    std::lock_guard guard(MenusLock());
    LiveMenus().insert(menu);
    return reinterpret_cast<HMENU>(menu);
}

// Index of an item given by position or by command id (searching submenus
// is left out: the menus here are flat).
int IndexOf(const Menu& menu, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION) return item < menu.items.size() ? static_cast<int>(item) : -1;
    for (size_t i = 0; i < menu.items.size(); ++i)
        if (!(menu.items[i].flags & MF_SEPARATOR) && menu.items[i].id == item) return static_cast<int>(i);
    return -1;
}

Item MakeItem(UINT flags, UINT_PTR id, LPCSTR text) {
    Item item;
    item.flags = flags & ~MF_BYPOSITION;
    if (flags & MF_POPUP) item.submenu = reinterpret_cast<HMENU>(id);
    else item.id = id;
    if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && text) item.text = text;
    return item;
}

// The popup while it is tracked.
struct Popup {
    Menu* menu = nullptr;
    int highlighted = -1;
    bool done = false;
    UINT_PTR chosen = 0;
};

HFONT MenuFont() { return DialogFont(); }

int RowHeight(const Item& item) { return (item.flags & MF_SEPARATOR) ? 8 : 19; }

int ItemAt(const Popup& popup, int y) {
    int top = 2;
    for (size_t i = 0; i < popup.menu->items.size(); ++i) {
        const int h = RowHeight(popup.menu->items[i]);
        if (y >= top && y < top + h) return static_cast<int>(i);
        top += h;
    }
    return -1;
}

bool Choosable(const Item& item) { return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED | MF_POPUP)); }

Popup* PopupOf(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hwnd);
    return window ? static_cast<Popup*>(reinterpret_cast<void*>(window->userData)) : nullptr;
}

void PaintPopup(HWND hwnd, HDC dc) {
    Popup* popup = PopupOf(hwnd);
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    if (popup == nullptr) return;
    HGDIOBJ old = SelectObject(dc, MenuFont());
    SetBkMode(dc, TRANSPARENT);
    int top = 2;
    for (size_t i = 0; i < popup->menu->items.size(); ++i) {
        const Item& item = popup->menu->items[i];
        RECT row{2, top, client.right - 2, top + RowHeight(item)};
        top = row.bottom;
        if (item.flags & MF_SEPARATOR) {
            RECT dark{row.left + 1, row.top + 3, row.right - 1, row.top + 4};
            RECT light{row.left + 1, row.top + 4, row.right - 1, row.top + 5};
            FillRect(dc, &dark, GetSysColorBrush(COLOR_BTNSHADOW));
            FillRect(dc, &light, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
            continue;
        }
        const bool lit = static_cast<int>(i) == popup->highlighted;
        const bool grey = (item.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        if (lit) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, SysColor(grey ? COLOR_GRAYTEXT : lit ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT));
        if (item.flags & MF_CHECKED) {
            RECT mark{row.left + 4, row.top, row.left + 18, row.bottom};
            DrawTextA(dc, "v", -1, &mark, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        RECT text{row.left + 20, row.top, row.right - 16, row.bottom};
        DrawTextA(dc, item.text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        if (item.flags & MF_POPUP) {
            RECT arrow{row.right - 14, row.top, row.right - 2, row.bottom};
            DrawTextA(dc, ">", -1, &arrow, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    }
    SelectObject(dc, old);
}

SIZE PopupSize(const Menu& menu) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, MenuFont());
    int width = 60, height = 4;
    for (const Item& item : menu.items) {
        SIZE size{};
        GetTextExtentPoint32A(dc, item.text.c_str(), static_cast<int>(item.text.size()), &size);
        width = std::max<int>(width, size.cx + 20 + 24);
        height += RowHeight(item);
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{width + 4 + 6, height + 6};  // the frame of the popup
}

void Move(Popup& popup, int step) {
    const int count = static_cast<int>(popup.menu->items.size());
    for (int tries = 0, at = popup.highlighted; tries < count; ++tries) {
        at = ((at < 0 && step < 0 ? count : at) + step + count) % count;
        if (!(popup.menu->items[static_cast<size_t>(at)].flags & MF_SEPARATOR)) {
            popup.highlighted = at;
            return;
        }
    }
}

}  // namespace

LRESULT CALLBACK MenuPopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Popup* popup = PopupOf(hwnd);
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintPopup(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: {
        if (popup == nullptr) return 0;
        RECT client{};
        GetClientRect(hwnd, &client);
        POINT point{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
        if (!PtInRect(&client, point)) {
            if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) popup->done = true;
            return 0;
        }
        const int at = ItemAt(*popup, point.y);
        if (at != popup->highlighted) {
            popup->highlighted = at;
            Invalidate(hwnd);
        }
        if ((message == WM_LBUTTONUP || message == WM_RBUTTONUP) && at >= 0 &&
            Choosable(popup->menu->items[static_cast<size_t>(at)])) {
            popup->chosen = popup->menu->items[static_cast<size_t>(at)].id;
            popup->done = true;
        }
        return 0;
    }
    case WM_KEYDOWN:
        if (popup == nullptr) return 0;
        if (wParam == VK_DOWN) Move(*popup, 1);
        else if (wParam == VK_UP) Move(*popup, -1);
        else if (wParam == VK_ESCAPE || wParam == VK_LEFT) popup->done = true;
        else if (wParam == VK_RETURN && popup->highlighted >= 0) {
            const Item& item = popup->menu->items[static_cast<size_t>(popup->highlighted)];
            if (Choosable(item)) popup->chosen = item.id, popup->done = true;
        }
        Invalidate(hwnd);
        return 0;
    case kChooseMessage:
        if (popup) {
            const int at = IndexOf(*popup->menu, static_cast<UINT>(wParam), MF_BYCOMMAND);
            if (at >= 0 && Choosable(popup->menu->items[static_cast<size_t>(at)])) {
                popup->chosen = wParam;
                popup->done = true;
            }
        }
        return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

// The scripted user chooses command `id` in the open popup `hwnd`.
bool ChooseMenuItem(HWND hwnd, UINT id) {
    Popup* popup = PopupOf(hwnd);
    if (popup == nullptr) return false;
    const int at = IndexOf(*popup->menu, id, MF_BYCOMMAND);
    if (at < 0 || !Choosable(popup->menu->items[static_cast<size_t>(at)])) return false;
    PostMessageA(hwnd, kChooseMessage, id, 0);
    return true;
}

}  // namespace platform::user

using namespace platform::user;

WINBASEAPI HMENU WINAPI CreatePopupMenu(void) { return NewMenu(); }
WINBASEAPI HMENU WINAPI CreateMenu(void) { return NewMenu(); }

WINBASEAPI BOOL WINAPI DestroyMenu(HMENU hMenu) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return FALSE;
    {
        std::lock_guard guard(MenusLock());
        LiveMenus().erase(menu);
    }
    for (const Item& item : menu->items)
        if (item.submenu) DestroyMenu(item.submenu);
    delete menu;
    return TRUE;
}

WINBASEAPI BOOL WINAPI IsMenu(HMENU hMenu) { return MenuOf(hMenu) != nullptr; }

WINBASEAPI BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return FALSE;
    menu->items.push_back(MakeItem(uFlags, uIDNewItem, lpNewItem));
    return TRUE;
}

WINBASEAPI BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return FALSE;
    int at = IndexOf(*menu, uPosition, uFlags);
    // A position past the end (or -1) appends.
    if (at < 0) at = static_cast<int>(menu->items.size());
    menu->items.insert(menu->items.begin() + at, MakeItem(uFlags, uIDNewItem, lpNewItem));
    return TRUE;
}

WINBASEAPI BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return FALSE;
    const int at = IndexOf(*menu, uPosition, uFlags);
    if (at < 0) return FALSE;
    const HMENU submenu = menu->items[static_cast<size_t>(at)].submenu;
    menu->items.erase(menu->items.begin() + at);
    if (submenu) DestroyMenu(submenu);
    return TRUE;
}

WINBASEAPI BOOL WINAPI RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return FALSE;
    const int at = IndexOf(*menu, uPosition, uFlags);
    if (at < 0) return FALSE;
    menu->items.erase(menu->items.begin() + at);
    return TRUE;
}

WINBASEAPI int WINAPI GetMenuItemCount(HMENU hMenu) {
    Menu* menu = MenuOf(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

WINBASEAPI UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr || nPos < 0 || nPos >= static_cast<int>(menu->items.size())) return static_cast<UINT>(-1);
    const Item& item = menu->items[static_cast<size_t>(nPos)];
    return item.submenu ? static_cast<UINT>(-1) : static_cast<UINT>(item.id);
}

WINBASEAPI HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr || nPos < 0 || nPos >= static_cast<int>(menu->items.size())) return nullptr;
    return menu->items[static_cast<size_t>(nPos)].submenu;
}

WINBASEAPI int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return 0;
    const int at = IndexOf(*menu, uIDItem, flags);
    if (at < 0) return 0;
    const std::string& text = menu->items[static_cast<size_t>(at)].text;
    if (lpString == nullptr || cchMax <= 0) return static_cast<int>(text.size());
    const size_t n = std::min<size_t>(text.size(), static_cast<size_t>(cchMax) - 1);
    std::memcpy(lpString, text.data(), n);
    lpString[n] = 0;
    return static_cast<int>(n);
}

WINBASEAPI UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return static_cast<UINT>(-1);
    const int at = IndexOf(*menu, uId, uFlags);
    return at < 0 ? static_cast<UINT>(-1) : menu->items[static_cast<size_t>(at)].flags & ~(MF_STRING | MF_POPUP);
}

WINBASEAPI DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return static_cast<DWORD>(-1);
    const int at = IndexOf(*menu, uIDCheckItem, uCheck);
    if (at < 0) return static_cast<DWORD>(-1);
    Item& item = menu->items[static_cast<size_t>(at)];
    const DWORD previous = item.flags & MF_CHECKED;
    item.flags = (item.flags & ~MF_CHECKED) | (uCheck & MF_CHECKED);
    return previous;
}

WINBASEAPI BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) return -1;
    const int at = IndexOf(*menu, uIDEnableItem, uEnable);
    if (at < 0) return -1;
    Item& item = menu->items[static_cast<size_t>(at)];
    const BOOL previous = static_cast<BOOL>(item.flags & (MF_GRAYED | MF_DISABLED));
    item.flags = (item.flags & ~(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return previous;
}

WINBASEAPI BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, LPTPMPARAMS) {
    Menu* menu = MenuOf(hMenu);
    if (menu == nullptr || menu->items.empty()) return FALSE;
    if (!(uFlags & TPM_NONOTIFY) && hwnd) SendMessageA(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    const SIZE size = PopupSize(*menu);
    if (uFlags & TPM_RIGHTALIGN) x -= size.cx;
    else if (uFlags & TPM_CENTERALIGN) x -= size.cx / 2;
    if (uFlags & TPM_BOTTOMALIGN) y -= size.cy;
    Popup popup;
    popup.menu = menu;
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "#32768", "", WS_POPUP | WS_DLGFRAME, x, y, size.cx, size.cy, hwnd,
                                  nullptr, nullptr, nullptr);
    if (window == nullptr) return FALSE;
    auto info = std::make_shared<DialogInfo>();
    {
        std::lock_guard guard(Lock());
        Window* w = Find(window);
        w->userData = reinterpret_cast<LONG_PTR>(&popup);
        w->dialog = info;  // so a scripted user's time-out can end it
    }
    HWND previousFocus = GetFocus();
    ShowWindow(window, SW_SHOW);
    SetCapture(window);
    ScriptDialogShown(window);
    EnterModal();
    MSG msg;
    while (!popup.done && !info->ended && IsWindow(window)) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        // The keyboard belongs to the menu while it is open.
        if (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) msg.hwnd = window;
        if (msg.message == WM_KEYUP) continue;
        DispatchMessageA(&msg);
    }
    LeaveModal();
    if (GetCapture() == window) ReleaseCapture();
    if (IsWindow(window)) {
        std::lock_guard guard(Lock());
        Find(window)->userData = 0;
    }
    if (IsWindow(window)) DestroyWindow(window);
    if (previousFocus && IsWindow(previousFocus)) SetFocus(previousFocus);
    else if (hwnd && IsWindow(hwnd)) SetActiveWindow(hwnd);
    if (uFlags & TPM_RETURNCMD) return static_cast<BOOL>(popup.chosen);
    if (popup.chosen == 0) return FALSE;
    if (hwnd) PostMessageA(hwnd, WM_COMMAND, MAKELONG(popup.chosen, 0), 0);
    return TRUE;
}

WINBASEAPI BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
    return TrackPopupMenuEx(hMenu, uFlags, x, y, hWnd, nullptr);
}
