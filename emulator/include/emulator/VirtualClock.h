// A virtual time base that the device and the host's own waits may share.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace emulator {

class VirtualClock {
public:
    std::chrono::nanoseconds Now() const { return std::chrono::nanoseconds(now_.load()); }
    void Advance(std::chrono::nanoseconds by) { now_.fetch_add(by.count()); }
    void AdvanceTo(std::chrono::nanoseconds when)
    {
        auto cur = now_.load();
        while (cur < when.count() && !now_.compare_exchange_weak(cur, when.count())) {
        }
    }

private:
    std::atomic<std::int64_t> now_{0};
};

}  // namespace emulator
