// USER's window manager: window classes, the windows of the process and their
// tree, non-client metrics, per-thread message queues and painting.
#pragma once

#include <windows.h>
#include <wingdi.h>

#include <cairo.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::user {

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    UINT style = 0;
    int wndExtra = 0;
    HBRUSH background = nullptr;
    HCURSOR cursor = nullptr;
    HINSTANCE instance = nullptr;
};

// What a dialog window carries besides its window.
struct DialogInfo {
    bool ended = false;
    INT_PTR result = 0;
    int resourceId = 0;  // template resource, 0 when built in memory
    bool messageBox = false;
    HFONT font = nullptr;
    int baseX = 6;
    int baseY = 13;
    int defaultId = IDOK;
};

// A window's own scroll bar (WS_HSCROLL, WS_VSCROLL) or a scroll bar control.
struct ScrollBar {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    int track = 0;
    bool shown = true;
    bool disabled = false;  // shown for SIF_DISABLENOSCROLL with nothing to scroll
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // child windows
    HWND owner = nullptr;   // top-level windows
    std::vector<HWND> children;
    RECT rect{};  // window rectangle: parent's client coordinates, or the screen's
    std::string text;
    UINT_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;
    HFONT font = nullptr;
    DWORD thread = 0;
    HINSTANCE instance = nullptr;
    HBRUSH background = nullptr;
    bool destroying = false;
    std::shared_ptr<void> control;  // state of a built-in control
    std::shared_ptr<DialogInfo> dialog;
    ScrollBar hscroll;
    ScrollBar vscroll;
    // Top-level windows: the backing surface and whether it needs painting.
    cairo_surface_t* surface = nullptr;
    bool dirty = true;
    unsigned long native = 0;  // the X11 window on a display
    ~Window();
};

std::recursive_mutex& Lock();
// The window of a handle; nullptr when there is none. Under Lock().
Window* Find(HWND hwnd);
std::vector<HWND> ThreadTopLevels(DWORD thread);

// The state of a built-in control's window, made on first use.
template <typename State>
State& ControlState(HWND hwnd) {
    std::lock_guard guard(Lock());
    Window* window = Find(hwnd);
    if (!window->control) window->control = std::make_shared<State>();
    return *static_cast<State*>(window->control.get());
}
HWND TopLevelOf(HWND hwnd);

// Non-client frame: the client rectangle in window coordinates.
RECT ClientInWindow(const Window& window);
int CaptionHeight();
// Origin of the window's client area on its top-level window's surface.
POINT ClientOriginOnSurface(HWND hwnd);

// Painting: marks a window for painting; paints the dirty top-level windows
// of this thread (WM_ERASEBKGND, WM_PAINT of every visible window) and shows
// them on the display.
void Invalidate(HWND hwnd);
void PaintPending();
void PaintNow(HWND topLevel);
bool WritePng(HWND topLevel, const std::string& path);

void RegisterSystemClasses();
bool RegisterSystemClass(const char* name, WNDPROC proc, int wndExtra, HBRUSH background);

// The current thread's queue: wakes a thread waiting in GetMessage.
void WakeThread(DWORD thread);
DWORD CurrentThread();
int ModalDepth();
void EnterModal();
void LeaveModal();

// Timers of a window end with it.
void KillWindowTimers(HWND hwnd);
// Scripted user: called when the thread's queue is empty; true when it
// posted something. WaitLimit: how long an idle wait may last before the
// script's time-out (INFINITE without a script).
bool ScriptIdle();
DWORD ScriptWaitLimit();
void ScriptCheckTimeout();

// Dialog helpers shared by dialogs and message boxes.
// A template's style, caption and client size in pixels of its font.
struct TemplateFacts {
    DWORD style = 0;
    std::string caption;
    SIZE client{};
};
TemplateFacts ReadTemplateFacts(const void* templ);
// `style`, when given, replaces the template's style (property pages become
// child windows); `exStyle` is added to the template's.
HWND CreateDialogFromTemplate(HINSTANCE instance, const void* templ, HWND parent, DLGPROC proc, LPARAM param,
                              int resourceId, const DWORD* style = nullptr, DWORD exStyle = 0);
// The modal loop of a dialog; a property sheet's loop hands the messages to
// the sheet (PSM_ISDIALOGMESSAGE) in place of IsDialogMessage.
INT_PTR RunModal(HWND dialog, HWND owner, bool sheet = false);
HFONT DialogFont();
// The font a control draws with: the one it was given, or the dialog font.
HFONT ControlFont(HWND hwnd);

// Built-in control procedures.
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboListProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);

// Scroll bars: the width of one, a window's bars in window coordinates
// (empty when not shown), drawing one into a rectangle, and a press of the
// mouse on a window's bar (point in window coordinates); true when it was on one.
constexpr int kScrollBarSize = 16;
RECT ScrollBarRect(const Window& window, bool vertical);
void DrawScrollBar(HDC dc, RECT box, const ScrollBar& bar, bool vertical, bool enabled);
bool ScrollBarPress(HWND hwnd, POINT inWindow);
// Mouse messages while a scroll bar's thumb is dragged; true when taken.
bool ScrollBarTrack(const MSG& msg);
LRESULT CALLBACK ScrollBarProc(HWND, UINT, WPARAM, LPARAM);
// Popup menus: the popup's window class, and the scripted user's choice of
// command `id` in the open popup `hwnd` (false when it has no such item).
LRESULT CALLBACK MenuPopupProc(HWND, UINT, WPARAM, LPARAM);
bool ChooseMenuItem(HWND hwnd, UINT id);

// System colours of the classic look.
COLORREF SysColor(int index);

}  // namespace platform::user
