// Process time, parking and the virtual clock's meeting with the devices.
#include "time/ProcessClock.h"

#include "device/DeviceConnection.h"

#include <winbase.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>
#include <vector>

namespace platform {
namespace {

constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

uint64_t MonotonicNs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

struct Attachment {
    std::weak_ptr<DeviceConnection> connection;
    const DeviceConnection* key;
};

// Never destroyed: threads running at exit still wait and wake.
struct ClockState {
    std::mutex lock;
    std::condition_variable idle;  // the meeting thread waits here
    std::atomic<bool> virtualTime{false};
    std::atomic<uint64_t> now{0};         // process time on the virtual clock
    std::atomic<uint64_t> shift{0};       // added to the host's clock otherwise
    std::atomic<uint64_t> earliest{kNone};  // the earliest deadline of a waiting thread
    std::vector<Attachment> attached;
    std::vector<ThreadSlot*> waiters;
    int counted = 0;
    int waiting = 0;
    uint64_t generation = 0;  // moves on whenever a thread parks, wakes, starts or ends
    bool meetingThread = false;
};

ClockState& State() {
    static ClockState* state = new ClockState;
    return *state;
}

void RecomputeEarliestLocked(ClockState& s) {
    uint64_t earliest = kNone;
    for (const ThreadSlot* slot : s.waiters)
        if (slot->deadline) earliest = std::min(earliest, *slot->deadline);
    s.earliest.store(earliest);
}

void Notify(ThreadSlot& slot) {
    std::lock_guard guard(slot.lock);
    slot.woken = true;
    slot.cv.notify_one();
}

// The thread no longer counts as waiting; the caller notifies it.
void ReleaseLocked(ClockState& s, ThreadSlot& slot) {
    if (!slot.waiting) return;
    slot.waiting = false;
    --s.waiting;
    ++s.generation;
    s.waiters.erase(std::find(s.waiters.begin(), s.waiters.end(), &slot));
    if (slot.deadline && *slot.deadline <= s.earliest.load()) RecomputeEarliestLocked(s);
}

void EnterWaitLocked(ClockState& s, ThreadSlot& slot, const Deadline& deadline) {
    if (!slot.counted) {
        slot.counted = true;
        ++s.counted;
    }
    slot.waiting = true;
    slot.deadline = deadline;
    ++s.waiting;
    ++s.generation;
    s.waiters.push_back(&slot);
    if (deadline && *deadline < s.earliest.load()) s.earliest.store(*deadline);
    if (s.waiting == s.counted) s.idle.notify_one();
}

// Wakes the waiters whose deadline the clock has reached.
void ExpireLocked(ClockState& s) {
    const uint64_t now = s.now.load();
    if (s.earliest.load() > now) return;
    std::vector<ThreadSlot*> due;
    for (ThreadSlot* slot : s.waiters)
        if (slot->deadline && *slot->deadline <= now) due.push_back(slot);
    for (ThreadSlot* slot : due) {
        ReleaseLocked(s, *slot);
        Notify(*slot);
    }
}

void MoveNowLocked(ClockState& s, uint64_t to) {
    uint64_t seen = s.now.load();
    while (seen < to && !s.now.compare_exchange_weak(seen, to)) {
    }
    ExpireLocked(s);
}

// Meets every connection's device once; the earliest device time reached, as
// process time (kNone when no device is on a virtual clock).
uint64_t MeetAll(const std::vector<std::shared_ptr<DeviceConnection>>& connections, uint64_t target) {
    uint64_t reached = kNone;
    for (const auto& c : connections) {
        const int64_t offset = c->ClockOffset();
        uint64_t deviceTarget = 0;
        if (target != 0) {
            deviceTarget = target == kNone ? kDeviceNoTarget
                                           : static_cast<uint64_t>(std::max<int64_t>(0, static_cast<int64_t>(target) - offset));
        }
        uint64_t deviceNow = 0;
        bool isVirtual = false;
        if (c->MeetClock(deviceTarget, false, INFINITE, &deviceNow, &isVirtual) && isVirtual)
            reached = std::min(reached, static_cast<uint64_t>(static_cast<int64_t>(deviceNow) + offset));
    }
    return reached;
}

// Once every counted thread waits, device time runs on to the earliest
// deadline. First each open virtual device is met without moving its clock:
// it answers only after every answer it already owes, so a thread that such
// an answer wakes stops the advance. Then the devices run on, and the
// process's clock follows.
void MeetingLoop() {
    ClockState& s = State();
    std::unique_lock guard(s.lock);
    uint64_t tried = ~0ull;
    for (;;) {
        s.idle.wait(guard, [&] {
            return s.virtualTime.load() && s.counted > 0 && s.waiting == s.counted && s.generation != tried;
        });
        tried = s.generation;
        std::vector<std::shared_ptr<DeviceConnection>> connections;
        for (const auto& a : s.attached)
            if (auto c = a.connection.lock()) connections.push_back(std::move(c));
        guard.unlock();
        MeetAll(connections, 0);
        guard.lock();
        if (s.generation != tried || s.waiting != s.counted || !s.virtualTime.load()) continue;
        const uint64_t target = s.earliest.load();
        guard.unlock();
        const uint64_t reached = MeetAll(connections, target);
        guard.lock();
        const uint64_t before = s.now.load();
        if (reached != kNone) MoveNowLocked(s, reached);
        // Time moved with nobody woken (the device's own next event): look again.
        if (s.now.load() != before && s.generation == tried) tried = ~0ull;
    }
}

thread_local ThreadSlot t_slot;

}  // namespace

ThreadSlot::~ThreadSlot() {
    ClockState& s = State();
    std::lock_guard guard(s.lock);
    if (waiting) ReleaseLocked(s, *this);
    if (counted) {
        counted = false;
        --s.counted;
        ++s.generation;
        s.idle.notify_one();
    }
}

uint64_t ProcessNowNs() {
    ClockState& s = State();
    if (s.virtualTime.load(std::memory_order_acquire)) return s.now.load();
    return MonotonicNs() + s.shift.load();
}

bool ProcessClockVirtual() { return State().virtualTime.load(std::memory_order_acquire); }

Deadline DeadlineAfter(DWORD ms) {
    if (ms == INFINITE) return std::nullopt;
    return ProcessNowNs() + static_cast<uint64_t>(ms) * 1000000ull;
}

ThreadSlot& CurrentThreadSlot() { return t_slot; }

void ResetWake(ThreadSlot& slot) {
    std::lock_guard guard(slot.lock);
    slot.woken = false;
}

void Park(ThreadSlot& slot, const Deadline& deadline) {
    ClockState& s = State();
    if (s.virtualTime.load()) {
        std::unique_lock clock(s.lock);
        if (s.virtualTime.load()) {
            {
                std::lock_guard guard(slot.lock);
                if (slot.woken) {
                    slot.woken = false;
                    return;
                }
            }
            if (deadline && *deadline <= s.now.load()) return;
            EnterWaitLocked(s, slot, deadline);
            clock.unlock();
            {
                std::unique_lock guard(slot.lock);
                slot.cv.wait(guard, [&] { return slot.woken; });
                slot.woken = false;
            }
            clock.lock();
            ReleaseLocked(s, slot);
            return;
        }
    }
    std::unique_lock guard(slot.lock);
    if (!deadline) {
        slot.cv.wait(guard, [&] { return slot.woken; });
    } else {
        const uint64_t shift = s.shift.load();
        const uint64_t host = *deadline > shift ? *deadline - shift : 0;
        const std::chrono::steady_clock::time_point until{std::chrono::nanoseconds(host)};
        slot.cv.wait_until(guard, until, [&] { return slot.woken; });
    }
    slot.woken = false;
}

void Wake(ThreadSlot& slot) {
    ClockState& s = State();
    if (s.virtualTime.load()) {
        // Counted as running before it runs, so the clock never moves on
        // between a wake and the woken thread's next step.
        std::lock_guard clock(s.lock);
        ReleaseLocked(s, slot);
        Notify(slot);
        return;
    }
    Notify(slot);
}

WaitingScope::WaitingScope(const Deadline& deadline) : active_(false) {
    ClockState& s = State();
    if (!s.virtualTime.load()) return;
    std::lock_guard clock(s.lock);
    if (!s.virtualTime.load()) return;
    EnterWaitLocked(s, t_slot, deadline);
    active_ = true;
}

WaitingScope::~WaitingScope() {
    if (!active_) return;
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    ReleaseLocked(s, t_slot);
}

void CountStartingThread() {
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    ++s.counted;
    ++s.generation;
}

void UncountStartingThread() {
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    --s.counted;
    ++s.generation;
    s.idle.notify_one();
}

void ClaimStartedThread() {
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    t_slot.counted = true;
}

void AttachDeviceClock(const std::shared_ptr<DeviceConnection>& connection, uint64_t deviceNowNs) {
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    if (!s.virtualTime.load()) {
        // Process time goes on from where the host's clock had it.
        s.now.store(MonotonicNs() + s.shift.load());
        s.virtualTime.store(true, std::memory_order_release);
    }
    connection->SetClockOffset(static_cast<int64_t>(s.now.load()) - static_cast<int64_t>(deviceNowNs));
    s.attached.push_back({connection, connection.get()});
    ++s.generation;
    if (!s.meetingThread) {
        s.meetingThread = true;
        std::thread(MeetingLoop).detach();
    }
    s.idle.notify_one();
}

void DetachDeviceClock(const DeviceConnection* connection) {
    ClockState& s = State();
    std::lock_guard clock(s.lock);
    auto it = std::find_if(s.attached.begin(), s.attached.end(), [&](const Attachment& a) { return a.key == connection; });
    if (it == s.attached.end()) return;
    s.attached.erase(it);
    ++s.generation;
    if (!s.attached.empty()) return;
    // Back on the host's clock, never running backwards; every waiter
    // looks at its deadline again.
    const uint64_t host = MonotonicNs();
    const uint64_t now = s.now.load();
    if (now > host + s.shift.load()) s.shift.store(now - host);
    s.virtualTime.store(false, std::memory_order_release);
    std::vector<ThreadSlot*> all = s.waiters;
    for (ThreadSlot* slot : all) {
        ReleaseLocked(s, *slot);
        Notify(*slot);
    }
}

void ProcessTimeSeen(uint64_t processNs) {
    ClockState& s = State();
    uint64_t seen = s.now.load();
    while (seen < processNs && !s.now.compare_exchange_weak(seen, processNs)) {
    }
    if (s.earliest.load() > processNs) return;
    std::lock_guard clock(s.lock);
    ExpireLocked(s);
}

}  // namespace platform
