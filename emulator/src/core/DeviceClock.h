// Device time: real (monotonic time × speed) or virtual (moved only by
// request quanta, bus time, explicit advances and pending image reads).
#pragma once

#include <chrono>
#include <memory>

#include <emulator/DeviceLogs.h>
#include <emulator/VirtualClock.h>

namespace emulator {

class DeviceClock {
public:
    // Device time starts at zero in the given mode.
    explicit DeviceClock(bool virtualClock = false);

    void SetVirtual(bool on);
    bool Virtual() const { return virtual_; }
    void SetSpeed(double speed);
    void SetTimeSource(std::shared_ptr<VirtualClock> clock);

    // Current device time; in real mode it follows the monotonic clock.
    DeviceTime Now() const;
    // Virtual mode only: moves device time on (no-op in real mode).
    void Advance(DeviceTime by);
    void AdvanceTo(DeviceTime when);
    // Host time left until device time reaches `when` (real mode), for waits.
    std::chrono::steady_clock::duration HostDelayUntil(DeviceTime when) const;

private:
    bool virtual_ = false;
    double speed_ = 1.0;
    std::chrono::steady_clock::time_point origin_;
    DeviceTime realBase_{};  // device time at origin_
    std::shared_ptr<VirtualClock> clock_;
    DeviceTime virtualBase_{};  // device time = clock_->Now() − virtualBase_
};

}  // namespace emulator
