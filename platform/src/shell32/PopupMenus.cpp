// Popup menus as the shell builds them for a context menu handler: a list
// of string items with command ids, inserted by position or before a
// command. They are data here; the shell host shows and picks from them.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace platform::shell {
namespace {

struct MenuItem {
    UINT id = 0;
    UINT flags = 0;
    std::string text;
};

struct Menu {
    std::vector<MenuItem> items;
};

std::mutex& MenuLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::set<Menu*>& Menus() {
    static auto* menus = new std::set<Menu*>;
    return *menus;
}

// The menu behind a handle, under the lock; null with ERROR_INVALID_HANDLE.
Menu* Find(HMENU handle) {
    auto* menu = reinterpret_cast<Menu*>(handle);
    if (Menus().count(menu) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return menu;
}

// The index of an item by position or by command; -1 when there is none.
int IndexOf(const Menu& menu, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION) return item < menu.items.size() ? static_cast<int>(item) : -1;
    for (size_t i = 0; i < menu.items.size(); ++i) {
        if (menu.items[i].id == item) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace
}  // namespace platform::shell

using namespace platform::shell;

WINUSERAPI HMENU WINAPI CreatePopupMenu(void) {
    std::lock_guard guard(MenuLock());
    auto* menu = new Menu;
    Menus().insert(menu);
    return reinterpret_cast<HMENU>(menu);
}

WINUSERAPI BOOL WINAPI DestroyMenu(HMENU hMenu) {
    std::lock_guard guard(MenuLock());
    Menu* menu = Find(hMenu);
    if (menu == nullptr) return FALSE;
    Menus().erase(menu);
    delete menu;
    return TRUE;
}

WINUSERAPI BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    std::lock_guard guard(MenuLock());
    Menu* menu = Find(hMenu);
    if (menu == nullptr) return FALSE;
    MenuItem item;
    item.id = static_cast<UINT>(uIDNewItem);
    item.flags = uFlags & MF_SEPARATOR;
    if (!(uFlags & MF_SEPARATOR)) item.text = lpNewItem ? lpNewItem : "";
    // A position past the end (0xFFFFFFFF included) appends; a command not
    // in the menu appends too.
    int at = IndexOf(*menu, uPosition, uFlags);
    if (at < 0) at = static_cast<int>(menu->items.size());
    menu->items.insert(menu->items.begin() + at, item);
    return TRUE;
}

WINUSERAPI int WINAPI GetMenuItemCount(HMENU hMenu) {
    std::lock_guard guard(MenuLock());
    Menu* menu = Find(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

WINUSERAPI UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    std::lock_guard guard(MenuLock());
    Menu* menu = Find(hMenu);
    if (menu == nullptr || nPos < 0 || static_cast<size_t>(nPos) >= menu->items.size()) return 0xFFFFFFFFu;
    return menu->items[static_cast<size_t>(nPos)].id;
}

WINUSERAPI int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
    std::lock_guard guard(MenuLock());
    Menu* menu = Find(hMenu);
    if (menu == nullptr) return 0;
    const int at = IndexOf(*menu, uIDItem, flags);
    if (at < 0) return 0;
    const std::string& text = menu->items[static_cast<size_t>(at)].text;
    if (lpString == nullptr || cchMax <= 0) return static_cast<int>(text.size());
    const size_t n = std::min(text.size(), static_cast<size_t>(cchMax - 1));
    std::memcpy(lpString, text.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}
