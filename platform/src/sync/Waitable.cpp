// The process-wide wait lock and the wait over events and threads.
#include "sync/Waitable.h"

#include <winbase.h>

namespace platform {
namespace {

struct WaitState {
    std::mutex lock;
    std::condition_variable changed;
};

// Never destroyed: threads running at exit still signal and wait.
WaitState& State() {
    static WaitState* state = new WaitState;
    return *state;
}

}  // namespace

Deadline DeadlineAfter(DWORD ms) {
    if (ms == INFINITE) return std::nullopt;
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

std::mutex& WaitLock() { return State().lock; }

void NotifyWaiters() { State().changed.notify_all(); }

std::optional<size_t> WaitForAny(const std::vector<Waitable*>& objects, const Deadline& deadline) {
    WaitState& state = State();
    std::unique_lock guard(state.lock);
    for (;;) {
        for (size_t i = 0; i < objects.size(); ++i)
            if (objects[i]->TryConsume()) return i;
        if (!deadline) {
            state.changed.wait(guard);
        } else if (state.changed.wait_until(guard, *deadline) == std::cv_status::timeout &&
                   std::chrono::steady_clock::now() >= *deadline) {
            for (size_t i = 0; i < objects.size(); ++i)
                if (objects[i]->TryConsume()) return i;
            return std::nullopt;
        }
    }
}

}  // namespace platform
