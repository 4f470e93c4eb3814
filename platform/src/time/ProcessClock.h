// The process's clock and the one place where its threads block.
//
// Process time is the host's monotonic clock, or, while a device that runs on
// a virtual clock is open, that device's time: then the process's sleeps and
// timed waits move device time on once every thread of the process waits,
// to the earliest deadline, and every answer from the device tells the
// process how far device time has got.
#pragma once

#include <windef.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

class DeviceConnection;

// A deadline in process time (nanoseconds); none for INFINITE.
using Deadline = std::optional<uint64_t>;

uint64_t ProcessNowNs();
bool ProcessClockVirtual();
Deadline DeadlineAfter(DWORD ms);

// What one thread blocks on. Wakes are remembered until the next ResetWake,
// so a wake between registering with an object and parking is not lost.
struct ThreadSlot {
    std::mutex lock;
    std::condition_variable cv;
    bool woken = false;
    // Under the clock's lock.
    bool counted = false;  // one of the threads whose waits the virtual clock waits for
    bool waiting = false;
    Deadline deadline;
    ~ThreadSlot();
};

ThreadSlot& CurrentThreadSlot();
void ResetWake(ThreadSlot& slot);
// Blocks until woken or the deadline passes; may return early: callers
// check their condition and the deadline again.
void Park(ThreadSlot& slot, const Deadline& deadline);
void Wake(ThreadSlot& slot);

// A thread counted as waiting (with its deadline) while it blocks somewhere
// other than Park: a timed mutex wait on the virtual clock.
class WaitingScope {
public:
    explicit WaitingScope(const Deadline& deadline);
    ~WaitingScope();
    WaitingScope(const WaitingScope&) = delete;
    WaitingScope& operator=(const WaitingScope&) = delete;

private:
    bool active_;
};

// Threads started by the platform count from before they run until they end.
void CountStartingThread();
void UncountStartingThread();  // the start failed
void ClaimStartedThread();     // first thing in the new thread

// Device connections whose device runs on a virtual clock.
void AttachDeviceClock(const std::shared_ptr<DeviceConnection>& connection, uint64_t deviceNowNs);
void DetachDeviceClock(const DeviceConnection* connection);
// Device time seen in an answer, as process time.
void ProcessTimeSeen(uint64_t processNs);

}  // namespace platform
