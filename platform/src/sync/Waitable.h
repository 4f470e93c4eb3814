// Events and threads: objects whose signalled state a wait observes. Each
// keeps its own lock and the threads that wait on it, so a change wakes
// only those threads.
#pragma once

#include "core/Handles.h"
#include "time/ProcessClock.h"

#include <mutex>
#include <optional>
#include <vector>

namespace platform {

class Waitable : public KernelObject {
public:
    using KernelObject::KernelObject;
    // Called with Lock() held: true when signalled; an auto-reset event
    // is cleared by the successful check.
    virtual bool TryConsume() = 0;

    std::mutex& Lock() { return lock_; }
    void AddWaiter(ThreadSlot* slot) { waiters_.push_back(slot); }
    void RemoveWaiter(ThreadSlot* slot);
    // After a change to the signalled state, with Lock() held.
    void WakeWaiters();

private:
    std::mutex lock_;
    std::vector<ThreadSlot*> waiters_;
};

// Waits until one of `objects` is signalled (the lowest index wins) or the
// deadline passes: the index, or nullopt on time-out.
std::optional<size_t> WaitForAny(const std::vector<Waitable*>& objects, const Deadline& deadline);

}  // namespace platform
