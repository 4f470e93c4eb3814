// Per-thread message queues: sent and posted messages, WM_QUIT, timers on
// the platform clock, painting when the queue is empty, and the waits of
// GetMessage.
#include "user32/WindowManager.h"

#include "core/Controls.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <unistd.h>
#include <sys/syscall.h>

namespace platform::user {
namespace {

struct Sent {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT interval;
    TIMERPROC proc;
    uint64_t due;
};

struct Queue {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<Sent>> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    int modalDepth = 0;
};

std::mutex& QueuesLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::map<DWORD, std::shared_ptr<Queue>>& Queues() {
    static auto* queues = new std::map<DWORD, std::shared_ptr<Queue>>;
    return *queues;
}

std::shared_ptr<Queue> QueueOf(DWORD thread) {
    std::lock_guard guard(QueuesLock());
    auto& slot = Queues()[thread];
    if (!slot) slot = std::make_shared<Queue>();
    return slot;
}

Queue& Mine() {
    thread_local std::shared_ptr<Queue> mine = QueueOf(CurrentThread());
    return *mine;
}

uint64_t Now() { return GetTickCount64(); }

bool Matches(HWND filter, HWND target) {
    if (filter == nullptr) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return target == nullptr;
    // A window's filter takes its children's messages too, so a dialog's
    // own pump sees the clicks on its buttons.
    return target == filter || IsChild(filter, target);
}

bool InRange(UINT message, UINT low, UINT high) {
    if (low == 0 && high == 0) return true;
    return message >= low && message <= high;
}

void RunSent() {
    Queue& queue = Mine();
    for (;;) {
        std::shared_ptr<Sent> sent;
        {
            std::lock_guard guard(queue.lock);
            if (queue.sent.empty()) return;
            sent = queue.sent.front();
            queue.sent.pop_front();
        }
        const LRESULT result = SendMessageA(sent->hwnd, sent->message, sent->wParam, sent->lParam);
        std::shared_ptr<Queue> owner;
        {
            std::lock_guard guard(queue.lock);
            sent->result = result;
            sent->done = true;
        }
        queue.wake.notify_all();
    }
}

// Input from the display is addressed to a top-level window or the window
// under the pointer; the thread's focus and capture decide where it goes.
void Retarget(MSG* msg) {
    constexpr LPARAM kFromDisplay = 0x20000000;
    if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && (msg->lParam & kFromDisplay)) {
        msg->lParam &= ~kFromDisplay;
        HWND focus = GetFocus();
        if (focus && (focus == msg->hwnd || IsChild(msg->hwnd, focus))) msg->hwnd = focus;
        return;
    }
    if (msg->message >= WM_MOUSEMOVE && msg->message <= WM_RBUTTONDBLCLK) {
        HWND capture = GetCapture();
        if (capture == nullptr || capture == msg->hwnd || msg->hwnd == nullptr) return;
        POINT point{static_cast<SHORT>(LOWORD(msg->lParam)), static_cast<SHORT>(HIWORD(msg->lParam))};
        ClientToScreen(msg->hwnd, &point);
        ScreenToClient(capture, &point);
        msg->hwnd = capture;
        msg->lParam = MAKELONG(point.x, point.y);
    }
}

// One step of message retrieval: true with a message in *msg.
bool Retrieve(MSG* msg, HWND hwnd, UINT low, UINT high, bool remove, bool* quit) {
    RunSent();
    Queue& queue = Mine();
    bool found = false;
    {
        std::lock_guard guard(queue.lock);
        for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
            if (Matches(hwnd, it->hwnd) && InRange(it->message, low, high)) {
                *msg = *it;
                if (remove) queue.posted.erase(it);
                found = true;
                break;
            }
        }
        if (!found && queue.quit) {
            *msg = MSG{};
            msg->message = WM_QUIT;
            msg->wParam = static_cast<WPARAM>(queue.quitCode);
            if (remove) queue.quit = false;
            *quit = true;
            return true;
        }
    }
    if (found) {
        Retarget(msg);
        return true;
    }
    PaintPending();
    const uint64_t now = Now();
    std::lock_guard guard(queue.lock);
    for (Timer& timer : queue.timers) {
        if (timer.due <= now && Matches(hwnd, timer.hwnd) && InRange(WM_TIMER, low, high)) {
            *msg = MSG{};
            msg->hwnd = timer.hwnd;
            msg->message = WM_TIMER;
            msg->wParam = timer.id;
            msg->lParam = reinterpret_cast<LPARAM>(timer.proc);
            msg->time = static_cast<DWORD>(now);
            if (remove) timer.due = now + timer.interval;
            return true;
        }
    }
    return false;
}

}  // namespace

DWORD CurrentThread() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

void WakeThread(DWORD thread) { QueueOf(thread)->wake.notify_all(); }

int ModalDepth() { return Mine().modalDepth; }
void EnterModal() { ++Mine().modalDepth; }
void LeaveModal() { --Mine().modalDepth; }

void KillWindowTimers(HWND hwnd) {
    Queue& queue = Mine();
    std::lock_guard guard(queue.lock);
    std::erase_if(queue.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::erase_if(queue.posted, [&](const MSG& m) { return m.hwnd == hwnd && m.message == WM_TIMER; });
}

}  // namespace platform::user

using namespace platform::user;

WINBASEAPI LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    DWORD thread = 0;
    {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) {
            SetLastError(1400);
            return 0;
        }
        proc = window->proc;
        thread = window->thread;
    }
    if (thread == CurrentThread()) return proc(hWnd, Msg, wParam, lParam);
    // Another thread's window: its thread runs the message while we wait,
    // still answering messages sent to us.
    auto sent = std::make_shared<Sent>(Sent{hWnd, Msg, wParam, lParam});
    auto target = QueueOf(thread);
    {
        std::lock_guard guard(target->lock);
        target->sent.push_back(sent);
    }
    target->wake.notify_all();
    for (;;) {
        {
            std::unique_lock guard(target->lock);
            if (target->wake.wait_for(guard, std::chrono::milliseconds(10), [&] { return sent->done; }))
                return sent->result;
        }
        RunSent();
        if (!IsWindow(hWnd)) return 0;
    }
}

WINBASEAPI BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    DWORD thread = 0;
    if (hWnd == nullptr) {
        thread = CurrentThread();
    } else {
        std::lock_guard guard(Lock());
        Window* window = Find(hWnd);
        if (window == nullptr) {
            SetLastError(1400);
            return FALSE;
        }
        thread = window->thread;
    }
    auto queue = QueueOf(thread);
    {
        std::lock_guard guard(queue->lock);
        MSG msg{};
        msg.hwnd = hWnd;
        msg.message = Msg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        msg.time = static_cast<DWORD>(GetTickCount64());
        queue->posted.push_back(msg);
    }
    queue->wake.notify_all();
    return TRUE;
}

WINBASEAPI BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto queue = QueueOf(idThread);
    {
        std::lock_guard guard(queue->lock);
        MSG msg{};
        msg.message = Msg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        queue->posted.push_back(msg);
    }
    queue->wake.notify_all();
    return TRUE;
}

WINBASEAPI void WINAPI PostQuitMessage(int nExitCode) {
    Queue& queue = platform::user::Mine();
    {
        std::lock_guard guard(queue.lock);
        queue.quit = true;
        queue.quitCode = nExitCode;
    }
    queue.wake.notify_all();
}

WINBASEAPI BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg) {
    if (lpMsg == nullptr) return FALSE;
    bool quit = false;
    if (Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg & PM_REMOVE, &quit)) return TRUE;
    // An empty queue is where the scripted user acts.
    if (ScriptIdle()) return Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg & PM_REMOVE, &quit);
    return FALSE;
}

WINBASEAPI BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) return -1;
    Queue& queue = platform::user::Mine();
    for (;;) {
        bool quit = false;
        if (Retrieve(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true, &quit)) return quit ? FALSE : TRUE;
        if (ScriptIdle()) continue;
        ScriptCheckTimeout();
        // Sleep until something arrives, the next timer is due or the
        // script's time-out may have come.
        uint64_t wait = ScriptWaitLimit();
        std::unique_lock guard(queue.lock);
        const uint64_t now = platform::user::Now();
        for (const auto& timer : queue.timers) wait = std::min<uint64_t>(wait, timer.due > now ? timer.due - now : 0);
        if (!queue.posted.empty() || !queue.sent.empty() || queue.quit) continue;
        if (wait == 0) continue;
        queue.wake.wait_for(guard, std::chrono::milliseconds(std::min<uint64_t>(wait, 100)));
    }
}

WINBASEAPI BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->message != WM_KEYDOWN) return FALSE;
    const WPARAM key = lpMsg->wParam;
    char c = 0;
    if (key == VK_RETURN) c = '\r';
    else if (key == VK_ESCAPE) c = 27;
    else if (key == VK_SPACE) c = ' ';
    else if (key == VK_TAB) c = '\t';
    else if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) c = static_cast<char>(key);
    if (c == 0) return FALSE;
    PostMessageA(lpMsg->hwnd, WM_CHAR, static_cast<WPARAM>(c), lpMsg->lParam);
    return TRUE;
}

namespace platform::user {
namespace {

// TrackMouseEvent's request of this thread.
struct MouseTracking {
    HWND hwnd = nullptr;
    DWORD flags = 0;
    DWORD hoverTime = 400;
    LPARAM point = 0;
};

thread_local MouseTracking mouseTracking;
constexpr UINT_PTR kHoverTimer = 0xFFF0;

void CALLBACK HoverTimer(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    if (mouseTracking.hwnd != hwnd || !(mouseTracking.flags & TME_HOVER)) return;
    mouseTracking.flags &= ~TME_HOVER;
    PostMessageA(hwnd, WM_MOUSEHOVER, 0, mouseTracking.point);
    if (mouseTracking.flags == 0) mouseTracking.hwnd = nullptr;
}

// A mouse move: leaving the tracked window ends its tracking, moving in it
// starts the hover time again.
void NoteMouseMove(const MSG& msg) {
    MouseTracking& t = mouseTracking;
    if (t.hwnd == nullptr) return;
    if (msg.hwnd != t.hwnd) {
        HWND left = t.hwnd;
        const bool leave = (t.flags & TME_LEAVE) != 0;
        KillTimer(left, kHoverTimer);
        t = MouseTracking{};
        if (leave && IsWindow(left)) PostMessageA(left, WM_MOUSELEAVE, 0, 0);
        return;
    }
    t.point = msg.lParam;
    if (t.flags & TME_HOVER) SetTimer(t.hwnd, kHoverTimer, t.hoverTime, HoverTimer);
}

}  // namespace
}  // namespace platform::user

WINBASEAPI BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
    using platform::user::mouseTracking;
    if (lpEventTrack == nullptr || lpEventTrack->cbSize < sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpEventTrack->dwFlags & TME_QUERY) {
        lpEventTrack->dwFlags = mouseTracking.flags;
        lpEventTrack->hwndTrack = mouseTracking.hwnd;
        lpEventTrack->dwHoverTime = mouseTracking.hoverTime;
        return TRUE;
    }
    if (!IsWindow(lpEventTrack->hwndTrack)) return FALSE;
    if (lpEventTrack->dwFlags & TME_CANCEL) {
        if (mouseTracking.hwnd == lpEventTrack->hwndTrack) {
            mouseTracking.flags &= ~(lpEventTrack->dwFlags & (TME_HOVER | TME_LEAVE));
            if (!(mouseTracking.flags & TME_HOVER)) KillTimer(mouseTracking.hwnd, platform::user::kHoverTimer);
            if (mouseTracking.flags == 0) mouseTracking.hwnd = nullptr;
        }
        return TRUE;
    }
    if (mouseTracking.hwnd && mouseTracking.hwnd != lpEventTrack->hwndTrack)
        KillTimer(mouseTracking.hwnd, platform::user::kHoverTimer);
    if (mouseTracking.hwnd != lpEventTrack->hwndTrack) mouseTracking.flags = 0;
    mouseTracking.hwnd = lpEventTrack->hwndTrack;
    mouseTracking.flags |= lpEventTrack->dwFlags & (TME_HOVER | TME_LEAVE);
    mouseTracking.hoverTime = lpEventTrack->dwHoverTime == HOVER_DEFAULT ? 400 : lpEventTrack->dwHoverTime;
    if (lpEventTrack->dwFlags & TME_HOVER)
        SetTimer(mouseTracking.hwnd, platform::user::kHoverTimer, mouseTracking.hoverTime, platform::user::HoverTimer);
    return TRUE;
}

WINBASEAPI LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam,
                                                   static_cast<DWORD>(GetTickCount64()));
        return 0;
    }
    if (lpMsg->hwnd == nullptr) return 0;
    if (lpMsg->message == WM_MOUSEMOVE) platform::user::NoteMouseMove(*lpMsg);
    if (platform::user::ScrollBarTrack(*lpMsg)) return 0;
    if (lpMsg->message == WM_LBUTTONDOWN || lpMsg->message == WM_LBUTTONDBLCLK) {
        // A press beside the client area, on one of the window's scroll bars.
        POINT inWindow{static_cast<SHORT>(LOWORD(lpMsg->lParam)), static_cast<SHORT>(HIWORD(lpMsg->lParam))};
        RECT client{};
        GetClientRect(lpMsg->hwnd, &client);
        if (!PtInRect(&client, inWindow)) {
            {
                std::lock_guard guard(platform::user::Lock());
                platform::user::Window* window = platform::user::Find(lpMsg->hwnd);
                if (window == nullptr) return 0;
                const RECT offset = platform::user::ClientInWindow(*window);
                inWindow.x += offset.left;
                inWindow.y += offset.top;
            }
            if (platform::user::ScrollBarPress(lpMsg->hwnd, inWindow)) return 0;
        }
    }
    return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

WINBASEAPI UINT WINAPI RegisterWindowMessageA(LPCSTR lpString) {
    if (lpString == nullptr || *lpString == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    static std::mutex lock;
    static std::map<std::string, UINT>* names = new std::map<std::string, UINT>;
    std::lock_guard guard(lock);
    std::string key = lpString;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto [it, added] = names->emplace(key, static_cast<UINT>(0xC000 + names->size()));
    return it->second;
}

WINBASEAPI UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd && !IsWindow(hWnd)) return 0;
    Queue& queue = platform::user::Mine();
    std::lock_guard guard(queue.lock);
    if (hWnd == nullptr) {
        static UINT_PTR next = 0x7F00;
        nIDEvent = ++next;
    }
    const uint64_t due = platform::user::Now() + std::max<UINT>(uElapse, 10);
    for (auto& timer : queue.timers) {
        if (timer.hwnd == hWnd && timer.id == nIDEvent) {
            timer = Timer{hWnd, nIDEvent, std::max<UINT>(uElapse, 10), lpTimerFunc, due};
            return hWnd ? nIDEvent : nIDEvent;
        }
    }
    queue.timers.push_back(Timer{hWnd, nIDEvent, std::max<UINT>(uElapse, 10), lpTimerFunc, due});
    return nIDEvent == 0 && hWnd ? 1 : nIDEvent;
}

WINBASEAPI BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    Queue& queue = platform::user::Mine();
    std::lock_guard guard(queue.lock);
    const size_t before = queue.timers.size();
    std::erase_if(queue.timers, [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
    // A WM_TIMER already posted for it is dropped too.
    std::erase_if(queue.posted,
                  [&](const MSG& m) { return m.hwnd == hWnd && m.message == WM_TIMER && m.wParam == uIDEvent; });
    return queue.timers.size() != before;
}
