#include "user32/ScriptedUser.h"

#include "core/Controls.h"
#include "user32/Display.h"
#include "user32/WindowManager.h"

#include <platform/testing_ui.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

namespace platform::user {
namespace {

struct Script {
    std::mutex lock;
    bool configured = false;  // steps were given (even none)
    std::deque<std::string> steps;
    DWORD timeoutMs = 20000;
    std::string pictures;
    std::string log;
    std::function<void(const std::string&)> onTimeout;
    bool loaded = false;
};

Script& TheScript() {
    static Script* script = new Script;
    std::lock_guard guard(script->lock);
    if (!script->loaded) {
        script->loaded = true;
        if (const char* steps = std::getenv("PLATFORM_UI_SCRIPT")) {
            script->configured = true;
            std::string text = steps;
            size_t start = 0;
            while (start <= text.size()) {
                size_t end = text.find(';', start);
                std::string step = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
                if (!step.empty()) script->steps.push_back(step);
                if (end == std::string::npos) break;
                start = end + 1;
            }
        }
        if (const char* timeout = std::getenv("PLATFORM_UI_TIMEOUT_MS")) script->timeoutMs = std::atoi(timeout);
        if (const char* pictures = std::getenv("PLATFORM_UI_PICTURES")) script->pictures = pictures;
        if (const char* log = std::getenv("PLATFORM_UI_LOG")) script->log = log;
    }
    return *script;
}

thread_local std::vector<HWND> modalStack;
thread_local uint64_t lastProgress = 0;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

HWND Front() {
    while (!modalStack.empty()) {
        HWND top = modalStack.back();
        if (IsWindow(top) && IsWindowVisible(top)) return top;
        if (!IsWindow(top)) {
            modalStack.pop_back();
            continue;
        }
        // Hidden (ended) but not yet gone: nothing is in front yet.
        return nullptr;
    }
    return nullptr;
}

// The pages shown in a dialog (a property sheet's current page).
std::vector<HWND> ShownPages(HWND dialog) {
    std::vector<HWND> pages;
    std::lock_guard guard(Lock());
    Window* window = Find(dialog);
    if (window == nullptr) return pages;
    for (HWND child : window->children) {
        Window* page = Find(child);
        if (page && page->dialog && (page->style & WS_VISIBLE)) pages.push_back(child);
    }
    return pages;
}

bool DialogMatches(HWND dialog, const std::string& which) {
    std::lock_guard guard(Lock());
    Window* window = Find(dialog);
    if (window == nullptr || !window->dialog) return false;
    if (which == "box") return window->dialog->messageBox;
    if (which == "*" || which.empty()) return true;
    if (window->dialog->messageBox) return false;
    if (std::to_string(window->dialog->resourceId) == which) return true;
    // A property sheet matches the template of the page it shows.
    for (HWND page : ShownPages(dialog))
        if (std::to_string(Find(page)->dialog->resourceId) == which) return true;
    return false;
}

// Control `id` of the dialog, or of the page it shows.
HWND ControlOf(HWND dialog, int id) {
    if (HWND control = GetDlgItem(dialog, id)) return control;
    for (HWND page : ShownPages(dialog))
        if (HWND control = GetDlgItem(page, id)) return control;
    return nullptr;
}

std::string Caption(HWND hwnd) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

WPARAM KeyOf(const std::string& name) {
    if (name == "tab") return VK_TAB;
    if (name == "enter") return VK_RETURN;
    if (name == "escape") return VK_ESCAPE;
    if (name == "space") return VK_SPACE;
    if (name == "left") return VK_LEFT;
    if (name == "right") return VK_RIGHT;
    if (name == "up") return VK_UP;
    if (name == "down") return VK_DOWN;
    if (name == "pageup") return VK_PRIOR;
    if (name == "pagedown") return VK_NEXT;
    return 0;
}

// Carries out one step on the dialog in front; false when it does not apply yet.
bool Perform(HWND front, const std::string& step) {
    std::vector<std::string> parts = Split(step, ':');
    const std::string& verb = parts[0];
    auto target = [&](size_t withDialog) -> std::pair<std::string, std::vector<std::string>> {
        // Arguments after an optional dialog selector.
        std::vector<std::string> rest(parts.begin() + 1, parts.end());
        if (rest.size() >= withDialog) {
            std::string which = rest.front();
            rest.erase(rest.begin());
            return {which, rest};
        }
        return {"*", rest};
    };
    if (verb == "after" && parts.size() == 2) {
        // A pause: the next step comes this long after the previous one.
        return GetTickCount64() - lastProgress >= static_cast<uint64_t>(std::atoll(parts[1].c_str()));
    }
    if (verb == "answer" && parts.size() == 2) {
        if (!DialogMatches(front, "box")) return false;
        HWND button = GetDlgItem(front, std::atoi(parts[1].c_str()));
        if (button == nullptr || !IsWindowEnabled(button)) return false;
        PostMessageA(button, BM_CLICK, 0, 0);
        return true;
    }
    if (verb == "press") {
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        HWND button = ControlOf(front, std::atoi(rest[0].c_str()));
        if (button == nullptr || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
        PostMessageA(button, BM_CLICK, 0, 0);
        return true;
    }
    if (verb == "click") {
        // A mouse click in the middle of the control: through the X server on
        // a display, else as the messages the window would get.
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        HWND control = ControlOf(front, std::atoi(rest[0].c_str()));
        if (control == nullptr || !IsWindowEnabled(control) || !IsWindowVisible(control)) return false;
        RECT box{};
        GetClientRect(control, &box);
        POINT centre{box.right / 2, box.bottom / 2};
        if (DisplayEnabled()) {
            POINT onScreen = centre, origin{0, 0};
            ClientToScreen(control, &onScreen);
            RECT frame{};
            GetWindowRect(front, &frame);
            origin.x = onScreen.x - frame.left;
            origin.y = onScreen.y - frame.top;
            std::lock_guard guard(Lock());
            return DisplayClick(*Find(front), origin.x, origin.y);
        }
        PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELONG(centre.x, centre.y));
        PostMessageA(control, WM_LBUTTONUP, 0, MAKELONG(centre.x, centre.y));
        return true;
    }
    if (verb == "screenshot") {
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        PaintPending();
        if (!DisplayScreenshot(rest[0])) DebugLine("platform: scripted user: no display for a screenshot");
        return true;
    }
    if (verb == "key") {
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        const WPARAM key = KeyOf(rest[0]);
        HWND focus = GetFocus();
        if (focus == nullptr || (focus != front && !IsChild(front, focus))) focus = front;
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, 1);
        return true;
    }
    if (verb == "trackbar") {
        auto [which, rest] = target(3);
        if (rest.size() != 2 || !DialogMatches(front, which)) return false;
        HWND bar = ControlOf(front, std::atoi(rest[0].c_str()));
        if (bar == nullptr || !IsWindowEnabled(bar)) return false;
        const int position = std::atoi(rest[1].c_str());
        SendMessageA(bar, TBM_SETPOS, TRUE, position);
        const UINT scroll = (GetWindowLongA(bar, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        PostMessageA(GetParent(bar), scroll, MAKELONG(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
        PostMessageA(GetParent(bar), scroll, MAKELONG(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
        return true;
    }
    if (verb == "page") {
        // A click on a property sheet's tab.
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        HWND tab = GetDlgItem(front, IDC_PROPSHEET_TABCONTROL);
        RECT item{};
        if (tab == nullptr || !SendMessageA(tab, TCM_GETITEMRECT, std::atoi(rest[0].c_str()), reinterpret_cast<LPARAM>(&item)))
            return false;
        const LPARAM at = MAKELONG((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        PostMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(tab, WM_LBUTTONUP, 0, at);
        return true;
    }
    if (verb == "picture") {
        auto [which, rest] = target(2);
        if (rest.size() != 1 || !DialogMatches(front, which)) return false;
        WritePng(front, rest[0]);
        return true;
    }
    DebugLine("platform: scripted user: unknown step '" + step + "'");
    return true;
}

}  // namespace

void UiLog(const std::string& line) {
    Script& script = TheScript();
    if (script.log.empty()) return;
    const int fd = ::open(script.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = line + "\n";
    [[maybe_unused]] ssize_t written = ::write(fd, text.data(), text.size());
    ::close(fd);
}

bool ScriptActive() {
    Script& script = TheScript();
    std::lock_guard guard(script.lock);
    return script.configured;
}

void ScriptDialogShown(HWND dialog) {
    modalStack.push_back(dialog);
    lastProgress = GetTickCount64();
    std::shared_ptr<DialogInfo> info;
    {
        std::lock_guard guard(Lock());
        if (Window* window = Find(dialog)) info = window->dialog;
    }
    if (info && !info->messageBox) UiLog("dialog " + std::to_string(info->resourceId) + " \"" + Caption(dialog) + "\"");
}

bool ScriptIdle() {
    HWND front = Front();
    if (front == nullptr) return false;
    Script& script = TheScript();
    std::string step;
    {
        std::lock_guard guard(script.lock);
        if (script.steps.empty()) return false;
        step = script.steps.front();
    }
    PaintPending();
    if (!Perform(front, step)) return false;
    {
        std::lock_guard guard(script.lock);
        if (!script.steps.empty() && script.steps.front() == step) script.steps.pop_front();
    }
    UiLog("step " + step);
    lastProgress = GetTickCount64();
    return true;
}

DWORD ScriptWaitLimit() {
    if (Front() == nullptr) return INFINITE;
    if (!ScriptActive() && DisplayEnabled()) return INFINITE;
    return 50;
}

void ScriptCheckTimeout() {
    HWND front = Front();
    if (front == nullptr) return;
    if (!ScriptActive() && DisplayEnabled()) return;  // a person answers
    Script& script = TheScript();
    DWORD timeout = 0;
    std::function<void(const std::string&)> handler;
    std::string pictures;
    {
        std::lock_guard guard(script.lock);
        timeout = script.timeoutMs;
        handler = script.onTimeout;
        pictures = script.pictures;
    }
    if (GetTickCount64() - lastProgress < timeout) return;
    if (pictures.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        pictures = tmp && *tmp ? tmp : "/tmp";
    }
    static int count = 0;
    const std::string picture =
        pictures + "/unanswered-" + std::to_string(::getpid()) + "-" + std::to_string(++count) + ".png";
    WritePng(front, picture);
    const std::string message = "platform: the scripted user had nothing for the dialog \"" + Caption(front) +
                                "\" within " + std::to_string(timeout) + " ms; picture: " + picture;
    UiLog("timeout \"" + Caption(front) + "\" " + picture);
    DebugLine(message);
    std::fprintf(stderr, "%s\n", message.c_str());
    if (!handler) {
        std::fflush(nullptr);
        ::_exit(3);
    }
    handler(picture);
    lastProgress = GetTickCount64();
    EndDialog(front, IDCANCEL);
}

}  // namespace platform::user

namespace platform::testing {

void ScriptUser(const std::vector<std::string>& steps) {
    auto& script = user::TheScript();
    std::lock_guard guard(script.lock);
    script.configured = true;
    script.steps.assign(steps.begin(), steps.end());
}

void StopScriptingUser() {
    auto& script = user::TheScript();
    std::lock_guard guard(script.lock);
    script.configured = false;
    script.steps.clear();
}

size_t PendingUserSteps() {
    auto& script = user::TheScript();
    std::lock_guard guard(script.lock);
    return script.steps.size();
}

void SetUserTimeout(DWORD milliseconds, std::function<void(const std::string& picture)> onTimeout) {
    auto& script = user::TheScript();
    std::lock_guard guard(script.lock);
    script.timeoutMs = milliseconds;
    script.onTimeout = std::move(onTimeout);
}

void SetUserPictures(const std::string& folder) {
    auto& script = user::TheScript();
    std::lock_guard guard(script.lock);
    script.pictures = folder;
}

std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height) {
    std::vector<uint32_t> pixels;
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
        const int stride = cairo_image_surface_get_stride(image);
        const uint8_t* data = cairo_image_surface_get_data(image);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF);
        if (width) *width = w;
        if (height) *height = h;
    }
    cairo_surface_destroy(image);
    return pixels;
}

bool RenderWindow(HWND window, const std::string& pngPath) {
    HWND top = user::TopLevelOf(window);
    return top && user::WritePng(top, pngPath);
}

}  // namespace platform::testing
