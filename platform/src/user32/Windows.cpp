// Window classes and windows: creation and destruction with their message
// order, the window tree, texts, styles, positions, focus and capture.
#include "user32/WindowManager.h"

#include "core/Controls.h"
#include "user32/Display.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <strings.h>

namespace platform::user {
namespace {

struct Registry {
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<WindowClass> classes;
    uintptr_t next = 0x10010;
    ATOM nextAtom = 0xC100;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

WindowClass* FindClass(const std::string& name) {
    RegisterSystemClasses();
    for (auto& cls : TheRegistry().classes)
        if (::strcasecmp(cls.name.c_str(), name.c_str()) == 0) return &cls;
    return nullptr;
}

std::string ClassNameOf(LPCSTR name) {
    if (!IS_INTRESOURCE(name)) return name;
    switch (reinterpret_cast<uintptr_t>(name)) {
    case 0x80: return "Button";
    case 0x82: return "Static";
    case 0x8002: return "#32770";
    default: return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    }
}

struct ThreadFocus {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
};

ThreadFocus& Focus() {
    thread_local ThreadFocus focus;
    return focus;
}

void Forget(HWND hwnd) {
    ThreadFocus& focus = Focus();
    if (focus.focus == hwnd) focus.focus = nullptr;
    if (focus.active == hwnd) focus.active = nullptr;
    if (focus.capture == hwnd) focus.capture = nullptr;
}

void SendDestroy(HWND hwnd) {
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hwnd)) children = window->children;
    }
    for (HWND child : children) SendDestroy(child);
}

void SendNcDestroy(HWND hwnd) {
    std::vector<HWND> children;
    {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hwnd)) children = window->children;
    }
    for (HWND child : children) SendNcDestroy(child);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    KillWindowTimers(hwnd);
    Forget(hwnd);
    std::lock_guard guard(Lock());
    auto& windows = TheRegistry().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == windows.end()) return;
    if (HWND parent = it->second->parent) {
        if (Window* p = Find(parent)) std::erase(p->children, hwnd);
    }
    if (it->second->native) DisplayDestroyWindow(*it->second);
    windows.erase(it);
}

}  // namespace

Window::~Window() {
    if (surface) cairo_surface_destroy(surface);
}

std::recursive_mutex& Lock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

Window* Find(HWND hwnd) {
    std::lock_guard guard(Lock());
    auto& windows = TheRegistry().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second.get();
}

std::vector<HWND> ThreadTopLevels(DWORD thread) {
    std::lock_guard guard(Lock());
    std::vector<HWND> found;
    for (auto& [handle, window] : TheRegistry().windows)
        if (window->parent == nullptr && window->thread == thread) found.push_back(window->handle);
    return found;
}

HWND TopLevelOf(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hwnd);
    while (window && window->parent) window = Find(window->parent);
    return window ? window->handle : nullptr;
}

int CaptionHeight() { return 18; }

RECT ClientInWindow(const Window& window) {
    RECT client{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
    int border = 0;
    if (window.parent == nullptr && (window.style & (WS_CAPTION | WS_DLGFRAME | WS_THICKFRAME | WS_POPUP)) &&
        (window.style & (WS_CAPTION | WS_DLGFRAME | WS_THICKFRAME)))
        border = 3;
    else if (window.style & WS_BORDER)
        border = 1;
    if (window.exStyle & WS_EX_CLIENTEDGE) border += 2;
    else if (window.exStyle & WS_EX_STATICEDGE) border += 1;
    client.left += border;
    client.right -= border;
    client.top += border;
    client.bottom -= border;
    if (window.parent == nullptr && (window.style & WS_CAPTION) == WS_CAPTION) client.top += CaptionHeight();
    if ((window.style & WS_VSCROLL) && window.vscroll.shown && window.className != "ComboBox")
        client.right -= kScrollBarSize;
    if ((window.style & WS_HSCROLL) && window.hscroll.shown) client.bottom -= kScrollBarSize;
    if (client.right < client.left) client.right = client.left;
    if (client.bottom < client.top) client.bottom = client.top;
    return client;
}

POINT ClientOriginOnSurface(HWND hwnd) {
    std::lock_guard guard(Lock());
    POINT origin{0, 0};
    Window* window = Find(hwnd);
    while (window) {
        const RECT client = ClientInWindow(*window);
        origin.x += client.left;
        origin.y += client.top;
        if (window->parent == nullptr) break;
        origin.x += window->rect.left;
        origin.y += window->rect.top;
        window = Find(window->parent);
    }
    return origin;
}

bool RegisterSystemClass(const char* name, WNDPROC proc, int wndExtra, HBRUSH background) {
    std::lock_guard guard(Lock());
    for (auto& cls : TheRegistry().classes)
        if (::strcasecmp(cls.name.c_str(), name) == 0) return false;
    WindowClass cls;
    cls.name = name;
    cls.proc = proc;
    cls.wndExtra = wndExtra;
    cls.background = background;
    TheRegistry().classes.push_back(cls);
    return true;
}

}  // namespace platform::user

using namespace platform::user;

WINBASEAPI ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr || lpWndClass->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard guard(Lock());
    if (platform::user::FindClass(lpWndClass->lpszClassName)) {
        SetLastError(1410);  // ERROR_CLASS_ALREADY_EXISTS
        return 0;
    }
    WindowClass cls;
    cls.name = lpWndClass->lpszClassName;
    cls.proc = lpWndClass->lpfnWndProc;
    cls.style = lpWndClass->style;
    cls.wndExtra = lpWndClass->cbWndExtra;
    cls.background = lpWndClass->hbrBackground;
    cls.cursor = lpWndClass->hCursor;
    cls.instance = lpWndClass->hInstance;
    TheRegistry().classes.push_back(cls);
    return TheRegistry().nextAtom++;
}

WINBASEAPI BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    std::lock_guard guard(Lock());
    auto& classes = TheRegistry().classes;
    const std::string name = ClassNameOf(lpClassName);
    auto it = std::find_if(classes.begin(), classes.end(),
                           [&](const WindowClass& c) { return ::strcasecmp(c.name.c_str(), name.c_str()) == 0; });
    if (it == classes.end()) return FALSE;
    classes.erase(it);
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR lpClassName, LPWNDCLASSA lpWndClass) {
    std::lock_guard guard(Lock());
    WindowClass* cls = platform::user::FindClass(ClassNameOf(lpClassName));
    if (cls == nullptr || lpWndClass == nullptr) return FALSE;
    *lpWndClass = WNDCLASSA{};
    lpWndClass->lpfnWndProc = cls->proc;
    lpWndClass->style = cls->style;
    lpWndClass->cbWndExtra = cls->wndExtra;
    lpWndClass->hbrBackground = cls->background;
    lpWndClass->hCursor = cls->cursor;
    lpWndClass->lpszClassName = lpClassName;
    return TRUE;
}

WINBASEAPI HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam) {
    if (platform::FailNow("CreateWindowExA")) return nullptr;
    HWND hwnd = nullptr;
    {
        std::lock_guard guard(Lock());
        WindowClass* cls = platform::user::FindClass(ClassNameOf(lpClassName));
        if (cls == nullptr) {
            SetLastError(1407);  // ERROR_CANNOT_FIND_WND_CLASS
            return nullptr;
        }
        const bool child = (dwStyle & WS_CHILD) != 0;
        if (child && Find(hWndParent) == nullptr) {
            SetLastError(1406);  // ERROR_TLW_WITH_WSCHILD
            return nullptr;
        }
        auto window = std::make_unique<Window>();
        hwnd = reinterpret_cast<HWND>(TheRegistry().next);
        TheRegistry().next += 4;
        window->handle = hwnd;
        window->className = cls->name;
        window->proc = cls->proc;
        window->style = dwStyle;
        window->exStyle = dwExStyle;
        window->background = cls->background;
        window->extra.resize(std::max(0, cls->wndExtra));
        window->thread = CurrentThread();
        window->instance = hInstance;
        window->text = lpWindowName ? lpWindowName : "";
        if (X == CW_USEDEFAULT) X = Y = 40;
        if (nWidth == CW_USEDEFAULT) nWidth = 400, nHeight = 300;
        window->rect = RECT{X, Y, X + std::max(0, nWidth), Y + std::max(0, nHeight)};
        if (child) {
            window->parent = hWndParent;
            window->id = reinterpret_cast<UINT_PTR>(hMenu);
            Find(hWndParent)->children.push_back(hwnd);
        } else {
            window->owner = hWndParent ? TopLevelOf(hWndParent) : nullptr;
        }
        TheRegistry().windows.emplace(reinterpret_cast<uintptr_t>(hwnd), std::move(window));
    }
    CREATESTRUCTA create{};
    create.lpCreateParams = lpParam;
    create.hInstance = hInstance;
    create.hMenu = hMenu;
    create.hwndParent = hWndParent;
    create.x = X;
    create.y = Y;
    create.cx = nWidth;
    create.cy = nHeight;
    create.style = static_cast<LONG>(dwStyle);
    create.lpszName = lpWindowName;
    create.lpszClass = lpClassName;
    create.dwExStyle = dwExStyle;
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(1400);
        return nullptr;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
    SendMessageA(hwnd, WM_MOVE, 0, MAKELONG(X, Y));
    if (dwStyle & WS_VISIBLE) {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hwnd)) window->style &= ~WS_VISIBLE;
    }
    if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

WINBASEAPI BOOL WINAPI DestroyWindow(HWND hWnd) {
    std::vector<HWND> owned;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr || window->destroying) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        window->destroying = true;
        for (auto& [handle, other] : TheRegistry().windows)
            if (other->owner == hWnd) owned.push_back(other->handle);
    }
    for (HWND other : owned) DestroyWindow(other);
    if (IsWindowVisible(hWnd)) {
        std::lock_guard guard(Lock());
        if (Window* window = Find(hWnd)) window->style &= ~WS_VISIBLE;
        if (HWND parent = GetParent(hWnd)) Invalidate(parent);
    }
    SendDestroy(hWnd);
    SendNcDestroy(hWnd);
    return TRUE;
}

WINBASEAPI BOOL WINAPI IsWindow(HWND hWnd) {
    std::lock_guard guard(Lock());
    return Find(hWnd) != nullptr;
}

WINBASEAPI BOOL WINAPI IsWindowVisible(HWND hWnd) {
    std::lock_guard guard(Lock());
    for (Window* window = Find(hWnd); window; window = Find(window->parent)) {
        if (!(window->style & WS_VISIBLE)) return FALSE;
        if (window->parent == nullptr) return TRUE;
    }
    return FALSE;
}

WINBASEAPI BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    return window && !(window->style & WS_DISABLED);
}

WINBASEAPI BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    while (window && window->parent) {
        if (window->parent == hWndParent) return TRUE;
        window = Find(window->parent);
    }
    return FALSE;
}

WINBASEAPI BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    bool wasVisible = false;
    const bool show = nCmdShow != SW_HIDE;
    bool topLevel = false;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        wasVisible = (window->style & WS_VISIBLE) != 0;
        topLevel = window->parent == nullptr;
    }
    if (wasVisible == show) return wasVisible;
    SendMessageA(hWnd, WM_SHOWWINDOW, show, 0);
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return wasVisible;
        if (show) window->style |= WS_VISIBLE;
        else window->style &= ~WS_VISIBLE;
        if (topLevel) DisplayShowWindow(*window, show);
    }
    Invalidate(topLevel ? hWnd : GetParent(hWnd));
    if (topLevel && show && nCmdShow != SW_SHOWNOACTIVATE && nCmdShow != SW_SHOWNA) SetActiveWindow(hWnd);
    if (!show && (GetFocus() == hWnd || IsChild(hWnd, GetFocus()))) Focus().focus = nullptr;
    return wasVisible;
}

WINBASEAPI BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    bool wasDisabled = false;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        wasDisabled = (window->style & WS_DISABLED) != 0;
        if (wasDisabled == !bEnable) return wasDisabled;
        if (bEnable) window->style &= ~WS_DISABLED;
        else window->style |= WS_DISABLED;
    }
    if (!bEnable && (GetFocus() == hWnd || IsChild(hWnd, GetFocus()))) SetFocus(nullptr);
    SendMessageA(hWnd, WM_ENABLE, bEnable, 0);
    Invalidate(hWnd);
    return wasDisabled;
}

WINBASEAPI BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        window->rect = RECT{X, Y, X + nWidth, Y + nHeight};
        if (window->parent == nullptr && window->surface) {
            cairo_surface_destroy(window->surface);
            window->surface = nullptr;
        }
        if (window->parent == nullptr) DisplayMoveWindow(*window);
    }
    RECT client{};
    GetClientRect(hWnd, &client);
    SendMessageA(hWnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
    SendMessageA(hWnd, WM_MOVE, 0, MAKELONG(X, Y));
    Invalidate(TopLevelOf(hWnd));
    return TRUE;
}

WINBASEAPI BOOL WINAPI SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags) {
    RECT rect{};
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) return FALSE;
        rect = window->rect;
    }
    if (uFlags & SWP_NOMOVE) X = rect.left, Y = rect.top;
    if (uFlags & SWP_NOSIZE) cx = rect.right - rect.left, cy = rect.bottom - rect.top;
    if (!(uFlags & SWP_NOMOVE) || !(uFlags & SWP_NOSIZE)) MoveWindow(hWnd, X, Y, cx, cy, TRUE);
    if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, SW_SHOW);
    if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr || lpRect == nullptr) return FALSE;
    *lpRect = window->rect;
    if (window->parent) {
        POINT origin{0, 0};
        ClientToScreen(window->parent, &origin);
        OffsetRect(lpRect, origin.x, origin.y);
    }
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr || lpRect == nullptr) return FALSE;
    const RECT client = ClientInWindow(*window);
    *lpRect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

WINBASEAPI BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    std::lock_guard guard(Lock());
    if (Find(hWnd) == nullptr || lpPoint == nullptr) return FALSE;
    const POINT origin = ClientOriginOnSurface(hWnd);
    Window* top = Find(TopLevelOf(hWnd));
    lpPoint->x += origin.x + top->rect.left;
    lpPoint->y += origin.y + top->rect.top;
    return TRUE;
}

WINBASEAPI BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    POINT origin{0, 0};
    if (!ClientToScreen(hWnd, &origin)) return FALSE;
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

WINBASEAPI HWND WINAPI GetParent(HWND hWnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr) return nullptr;
    return window->parent ? window->parent : window->owner;
}

WINBASEAPI HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr) return nullptr;
    if (uCmd == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
    if (uCmd == GW_OWNER) return window->owner;
    Window* parent = Find(window->parent);
    if (parent == nullptr) return nullptr;
    auto& siblings = parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    if (uCmd == GW_HWNDNEXT) return it + 1 < siblings.end() ? *(it + 1) : nullptr;
    if (uCmd == GW_HWNDPREV) return it != siblings.begin() ? *(it - 1) : nullptr;
    return nullptr;
}

WINBASEAPI HWND WINAPI GetDesktopWindow(void) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10004)); }

WINBASEAPI HWND WINAPI GetActiveWindow(void) { return Focus().active; }
WINBASEAPI HWND WINAPI GetForegroundWindow(void) { return Focus().active; }

WINBASEAPI HWND WINAPI SetActiveWindow(HWND hWnd) {
    HWND previous = Focus().active;
    if (hWnd && !IsWindow(hWnd)) return nullptr;
    Focus().active = hWnd ? TopLevelOf(hWnd) : nullptr;
    if (previous != Focus().active) {
        if (previous) SendMessageA(previous, WM_ACTIVATE, 0, reinterpret_cast<LPARAM>(Focus().active));
        if (Focus().active) SendMessageA(Focus().active, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(previous));
    }
    return previous;
}

WINBASEAPI BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    if (!IsWindow(hWnd)) return FALSE;
    SetActiveWindow(hWnd);
    std::lock_guard guard(Lock());
    if (Window* window = Find(TopLevelOf(hWnd))) DisplayRaise(*window);
    return TRUE;
}

WINBASEAPI HWND WINAPI GetFocus(void) { return Focus().focus; }

WINBASEAPI HWND WINAPI SetFocus(HWND hWnd) {
    HWND previous = Focus().focus;
    if (hWnd && !IsWindow(hWnd)) return nullptr;
    if (previous == hWnd) return previous;
    Focus().focus = hWnd;
    if (previous && IsWindow(previous)) {
        SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
        Invalidate(previous);
    }
    if (hWnd) {
        if (TopLevelOf(hWnd) != Focus().active) SetActiveWindow(hWnd);
        SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
        Invalidate(hWnd);
    }
    return previous;
}

WINBASEAPI HWND WINAPI GetCapture(void) { return Focus().capture; }

WINBASEAPI HWND WINAPI SetCapture(HWND hWnd) {
    HWND previous = Focus().capture;
    Focus().capture = hWnd;
    if (previous && previous != hWnd) SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

WINBASEAPI BOOL WINAPI ReleaseCapture(void) {
    HWND previous = Focus().capture;
    Focus().capture = nullptr;
    if (previous) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

WINBASEAPI HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    static thread_local HCURSOR current = nullptr;
    HCURSOR previous = current;
    current = hCursor;
    return previous;
}

WINBASEAPI HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    // The system's cursors are named by their ids; a module's by its resource.
    if (hInstance == nullptr) return reinterpret_cast<HCURSOR>(const_cast<char*>(lpCursorName));
    HRSRC found = FindResourceA(hInstance, lpCursorName, RT_CURSOR);
    if (found == nullptr) found = FindResourceA(hInstance, lpCursorName, RT_GROUP_CURSOR);
    if (found == nullptr) SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return reinterpret_cast<HCURSOR>(found);
}

WINBASEAPI HICON WINAPI LoadIconA(HINSTANCE, LPCSTR lpIconName) {
    return reinterpret_cast<HICON>(const_cast<char*>(lpIconName));
}

WINBASEAPI int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (lpString == nullptr || nMaxCount <= 0) return 0;
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, nMaxCount, reinterpret_cast<LPARAM>(lpString)));
}

WINBASEAPI int WINAPI GetWindowTextLengthA(HWND hWnd) {
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

WINBASEAPI BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (!IsWindow(hWnd)) return FALSE;
    return static_cast<BOOL>(SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : "")));
}

WINBASEAPI LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr) {
        SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
        return 0;
    }
    switch (nIndex) {
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(window->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(window->exStyle);
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_ID: return static_cast<LONG_PTR>(window->id);
    case GWLP_USERDATA: return window->userData;
    default: break;
    }
    if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(1413);  // ERROR_INVALID_INDEX
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, window->extra.data() + nIndex, sizeof value);
    return value;
}

WINBASEAPI LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    std::lock_guard guard(Lock());
    Window* window = Find(hWnd);
    if (window == nullptr) {
        SetLastError(1400);
        return 0;
    }
    const LONG_PTR previous = GetWindowLongPtrA(hWnd, nIndex);
    switch (nIndex) {
    case GWL_STYLE: window->style = static_cast<DWORD>(dwNewLong); Invalidate(hWnd); return previous;
    case GWL_EXSTYLE: window->exStyle = static_cast<DWORD>(dwNewLong); return previous;
    case GWLP_WNDPROC: window->proc = reinterpret_cast<WNDPROC>(dwNewLong); return previous;
    case GWLP_HINSTANCE: window->instance = reinterpret_cast<HINSTANCE>(dwNewLong); return previous;
    case GWLP_ID: window->id = static_cast<UINT_PTR>(dwNewLong); return previous;
    case GWLP_USERDATA: window->userData = dwNewLong; return previous;
    default: break;
    }
    if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(1413);
        return 0;
    }
    std::memcpy(window->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
    return previous;
}

WINBASEAPI LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

WINBASEAPI LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
}

WINBASEAPI int WINAPI GetDlgCtrlID(HWND hWnd) { return static_cast<int>(GetWindowLongPtrA(hWnd, GWLP_ID)); }

WINBASEAPI LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}
