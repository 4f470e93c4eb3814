// Events and threads: objects whose signalled state waits observe under one
// process-wide lock, so that one wait can watch several of them.
#pragma once

#include "core/Handles.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// The deadline `ms` from now; none for INFINITE.
Deadline DeadlineAfter(DWORD ms);

class Waitable : public KernelObject {
public:
    using KernelObject::KernelObject;
    // Called with WaitLock() held: true when signalled; an auto-reset event
    // is cleared by the successful check.
    virtual bool TryConsume() = 0;
};

std::mutex& WaitLock();
// Wakes every wait; call after a state change made under WaitLock().
void NotifyWaiters();

// Waits until one of `objects` is signalled (the lowest index wins) or the
// deadline passes: the index, or nullopt on time-out.
std::optional<size_t> WaitForAny(const std::vector<Waitable*>& objects, const Deadline& deadline);

}  // namespace platform
