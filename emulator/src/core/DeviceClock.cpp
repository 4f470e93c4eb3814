#include "core/DeviceClock.h"

namespace emulator {

using std::chrono::duration_cast;
using std::chrono::nanoseconds;
using std::chrono::steady_clock;

DeviceClock::DeviceClock(bool virtualClock)
    : virtual_(virtualClock), origin_(steady_clock::now()), clock_(std::make_shared<VirtualClock>())
{
}

void DeviceClock::SetVirtual(bool on)
{
    if (on == virtual_)
        return;
    DeviceTime now = Now();
    virtual_ = on;
    if (on) {
        virtualBase_ = clock_->Now() - now;
    } else {
        origin_ = steady_clock::now();
        realBase_ = now;
    }
}

void DeviceClock::SetSpeed(double speed)
{
    DeviceTime now = Now();
    speed_ = speed;
    origin_ = steady_clock::now();
    realBase_ = now;
}

void DeviceClock::SetTimeSource(std::shared_ptr<VirtualClock> clock)
{
    DeviceTime now = Now();
    clock_ = clock ? std::move(clock) : std::make_shared<VirtualClock>();
    // Device time never runs backwards: a shared clock behind us is moved on.
    if (clock_->Now() < now)
        clock_->AdvanceTo(now);
    virtualBase_ = DeviceTime{};
}

DeviceTime DeviceClock::Now() const
{
    if (virtual_)
        return clock_->Now() - virtualBase_;
    auto host = steady_clock::now() - origin_;
    return realBase_ + nanoseconds(static_cast<std::int64_t>(
                           static_cast<double>(duration_cast<nanoseconds>(host).count()) * speed_));
}

void DeviceClock::Advance(DeviceTime by)
{
    if (virtual_ && by.count() > 0)
        clock_->Advance(by);
}

void DeviceClock::AdvanceTo(DeviceTime when)
{
    if (virtual_)
        clock_->AdvanceTo(when + virtualBase_);
}

steady_clock::duration DeviceClock::HostDelayUntil(DeviceTime when) const
{
    DeviceTime left = when - Now();
    if (left.count() <= 0)
        return steady_clock::duration::zero();
    if (virtual_)
        return steady_clock::duration::max();
    return duration_cast<steady_clock::duration>(
        nanoseconds(static_cast<std::int64_t>(static_cast<double>(left.count()) / speed_)));
}

}  // namespace emulator
