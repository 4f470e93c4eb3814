// Holds a port's device lock for a scope. Every successful Lock is counted
// and every successful Unlock uncounted; the destructor unlocks as often as
// the count says, so an unlock that failed is retried on the way out.
#pragma once

class DevicePort;

class PortLocker {
public:
    explicit PortLocker(DevicePort* port) : port_(port) {}
    ~PortLocker();
    PortLocker(const PortLocker&) = delete;
    PortLocker& operator=(const PortLocker&) = delete;

    // The port's Lock; a lock that cannot be had throws DeviceIOException
    // code 19 (busy), so a sequence never runs unlocked.
    bool Lock();
    bool Unlock();
    int LockCount() const { return count_; }

private:
    DevicePort* port_;
    int count_ = 0;
};
