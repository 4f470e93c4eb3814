// The X11 display (PLATFORM_DISPLAY=x11, server from DISPLAY): each visible
// top-level window is an undecorated X11 window showing its backing surface
// (our own frame and caption included); a reader thread turns mouse and
// keyboard events into messages posted to the window's thread.
#include "user32/Display.h"

#include "core/Controls.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace platform::user {
namespace {

// Marks keyboard messages from the display: the window's thread hands them
// to its focus window.
constexpr LPARAM kFromDisplay = 0x20000000;

struct Connection {
    Display* display = nullptr;
    Atom deleteWindow = 0;
};

Connection& TheConnection() {
    static Connection* connection = [] {
        auto* made = new Connection;
        const char* wanted = std::getenv("PLATFORM_DISPLAY");
        if (wanted == nullptr || std::strcmp(wanted, "x11") != 0) return made;
        XInitThreads();
        made->display = XOpenDisplay(nullptr);
        if (made->display == nullptr) {
            DebugLine("platform: PLATFORM_DISPLAY=x11 but no X server answers; windows stay headless");
            return made;
        }
        made->deleteWindow = XInternAtom(made->display, "WM_DELETE_WINDOW", False);
        return made;
    }();
    return *connection;
}

// The deepest visible, enabled child of `hwnd` under a point given in the
// window's client coordinates; the point becomes that child's. Later
// children are painted over earlier ones, so they are looked at first.
HWND ChildAt(HWND hwnd, POINT* point) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        HWND child = *it;
        if (!IsWindowVisible(child)) continue;
        RECT rect{};
        {
            std::lock_guard guard(Lock());
            rect = Find(child)->rect;
        }
        if (!PtInRect(&rect, *point)) continue;
        const DWORD style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
        char cls[32] = {};
        {
            std::lock_guard guard(Lock());
            std::strncpy(cls, Find(child)->className.c_str(), sizeof cls - 1);
        }
        // Group boxes let clicks through to what they surround.
        if (std::strcmp(cls, "Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
        POINT inner{point->x - rect.left, point->y - rect.top};
        if (!IsWindowEnabled(child)) return nullptr;
        *point = inner;
        return ChildAt(child, point);
    }
    return hwnd;
}

WPARAM VirtualKey(KeySym sym) {
    switch (sym) {
    case XK_Tab: case XK_ISO_Left_Tab: return VK_TAB;
    case XK_Return: case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_space: return VK_SPACE;
    case XK_Left: return VK_LEFT;
    case XK_Right: return VK_RIGHT;
    case XK_Up: return VK_UP;
    case XK_Down: return VK_DOWN;
    case XK_Prior: return VK_PRIOR;
    case XK_Next: return VK_NEXT;
    case XK_Home: return VK_HOME;
    case XK_End: return VK_END;
    default: break;
    }
    if (sym >= XK_a && sym <= XK_z) return 'A' + (sym - XK_a);
    if (sym >= XK_0 && sym <= XK_9) return '0' + (sym - XK_0);
    return 0;
}

HWND TopLevelOfNative(unsigned long native);

void Dispatch(const XEvent& event) {
    HWND top = TopLevelOfNative(event.xany.window);
    if (top == nullptr) return;
    switch (event.type) {
    case Expose: Invalidate(top); PostMessageA(top, WM_NULL, 0, 0); break;
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify: {
        if (event.type != MotionNotify && event.xbutton.button != Button1) break;
        const int x = event.type == MotionNotify ? event.xmotion.x : event.xbutton.x;
        const int y = event.type == MotionNotify ? event.xmotion.y : event.xbutton.y;
        const POINT origin = ClientOriginOnSurface(top);
        POINT point{x - origin.x, y - origin.y};
        if (!IsWindowEnabled(top)) break;
        HWND target = ChildAt(top, &point);
        if (target == nullptr) break;
        const UINT message = event.type == ButtonPress ? WM_LBUTTONDOWN : event.type == ButtonRelease ? WM_LBUTTONUP : WM_MOUSEMOVE;
        // The capture is the thread's: a press/release goes to the window under
        // the pointer, which captured it on the press (buttons, trackbars).
        PostMessageA(target, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                     MAKELONG(point.x, point.y));
        break;
    }
    case KeyPress:
    case KeyRelease: {
        XKeyEvent key = event.xkey;
        const KeySym sym = XLookupKeysym(&key, 0);
        const WPARAM vk = VirtualKey(sym);
        if (vk == 0) break;
        LPARAM flags = kFromDisplay | 1;
        if ((key.state & ShiftMask) && vk == VK_TAB) flags |= 0x1000000;
        PostMessageA(top, event.type == KeyPress ? WM_KEYDOWN : WM_KEYUP, vk, flags);
        break;
    }
    case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == TheConnection().deleteWindow) PostMessageA(top, WM_CLOSE, 0, 0);
        break;
    default: break;
    }
}

void StartReader() {
    static const bool started = [] {
        std::thread([] {
            Display* display = TheConnection().display;
            const int fd = ConnectionNumber(display);
            for (;;) {
                pollfd p{fd, POLLIN, 0};
                ::poll(&p, 1, 50);
                XLockDisplay(display);
                while (XPending(display)) {
                    XEvent event;
                    XNextEvent(display, &event);
                    XUnlockDisplay(display);
                    Dispatch(event);
                    XLockDisplay(display);
                }
                XUnlockDisplay(display);
            }
        }).detach();
        return true;
    }();
    (void)started;
}

std::mutex& NativeLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::vector<std::pair<unsigned long, HWND>>& Natives() {
    static auto* natives = new std::vector<std::pair<unsigned long, HWND>>;
    return *natives;
}

HWND TopLevelOfNative(unsigned long native) {
    std::lock_guard guard(NativeLock());
    for (auto& [id, hwnd] : Natives())
        if (id == native) return hwnd;
    return nullptr;
}

void Create(Window& window) {
    Display* display = TheConnection().display;
    const int width = std::max<LONG>(1, window.rect.right - window.rect.left);
    const int height = std::max<LONG>(1, window.rect.bottom - window.rect.top);
    XLockDisplay(display);
    const int screen = DefaultScreen(display);
    ::Window native = XCreateSimpleWindow(display, RootWindow(display, screen), window.rect.left, window.rect.top,
                                          width, height, 0, BlackPixel(display, screen), WhitePixel(display, screen));
    XSelectInput(display, native,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask |
                     StructureNotifyMask);
    XSetWMProtocols(display, native, &TheConnection().deleteWindow, 1);
    // Our own frame and caption are drawn: no decorations from a window manager.
    struct {
        unsigned long flags, functions, decorations;
        long inputMode;
        unsigned long status;
    } hints{2, 0, 0, 0, 0};
    Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(display, native, motif, motif, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&hints), 5);
    XStoreName(display, native, window.text.c_str());
    XUnlockDisplay(display);
    window.native = native;
    std::lock_guard guard(NativeLock());
    Natives().emplace_back(native, window.handle);
}

}  // namespace

bool DisplayEnabled() { return TheConnection().display != nullptr; }

RECT ScreenArea() {
    if (!DisplayEnabled()) return RECT{0, 0, 1280, 1024};
    Display* display = TheConnection().display;
    const int screen = DefaultScreen(display);
    return RECT{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

void DisplayShowWindow(Window& window, bool show) {
    if (!DisplayEnabled()) return;
    StartReader();
    if (window.native == 0) Create(window);
    Display* display = TheConnection().display;
    XLockDisplay(display);
    if (show) XMapRaised(display, window.native);
    else XUnmapWindow(display, window.native);
    XFlush(display);
    XUnlockDisplay(display);
}

void DisplayMoveWindow(Window& window) {
    if (!DisplayEnabled() || window.native == 0) return;
    Display* display = TheConnection().display;
    XLockDisplay(display);
    XMoveResizeWindow(display, window.native, window.rect.left, window.rect.top,
                      std::max<LONG>(1, window.rect.right - window.rect.left),
                      std::max<LONG>(1, window.rect.bottom - window.rect.top));
    XStoreName(display, window.native, window.text.c_str());
    XFlush(display);
    XUnlockDisplay(display);
}

void DisplayDestroyWindow(Window& window) {
    if (!DisplayEnabled() || window.native == 0) return;
    {
        std::lock_guard guard(NativeLock());
        std::erase_if(Natives(), [&](auto& entry) { return entry.first == window.native; });
    }
    Display* display = TheConnection().display;
    XLockDisplay(display);
    XDestroyWindow(display, window.native);
    XFlush(display);
    XUnlockDisplay(display);
    window.native = 0;
}

void DisplayRaise(Window& window) {
    if (!DisplayEnabled() || window.native == 0) return;
    Display* display = TheConnection().display;
    XLockDisplay(display);
    XRaiseWindow(display, window.native);
    XFlush(display);
    XUnlockDisplay(display);
}

void DisplayPresent(Window& window) {
    if (!DisplayEnabled() || window.native == 0 || window.surface == nullptr) return;
    Display* display = TheConnection().display;
    XLockDisplay(display);
    const int screen = DefaultScreen(display);
    const int width = cairo_image_surface_get_width(window.surface);
    const int height = cairo_image_surface_get_height(window.surface);
    cairo_surface_t* target =
        cairo_xlib_surface_create(display, window.native, DefaultVisual(display, screen), width, height);
    cairo_t* cr = cairo_create(target);
    cairo_set_source_surface(cr, window.surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    XFlush(display);
    XUnlockDisplay(display);
}

bool DisplayClick(Window& window, int x, int y) {
    if (!DisplayEnabled() || window.native == 0) return false;
    Display* display = TheConnection().display;
    XLockDisplay(display);
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = window.native;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.same_screen = True;
        XSendEvent(display, window.native, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XFlush(display);
    XUnlockDisplay(display);
    return true;
}

bool DisplayScreenshot(const std::string& path) {
    if (!DisplayEnabled()) return false;
    Display* display = TheConnection().display;
    XLockDisplay(display);
    XSync(display, False);
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
    cairo_surface_t* source =
        cairo_xlib_surface_create(display, RootWindow(display, screen), DefaultVisual(display, screen), width, height);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(copy);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(source);
    XUnlockDisplay(display);
    const bool written = cairo_surface_write_to_png(copy, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(copy);
    return written;
}

}  // namespace platform::user
