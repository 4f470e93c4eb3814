#include "device/PortLocker.h"

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"

PortLocker::~PortLocker() {
    // Every hold still counted, a failed unlock included; nothing may leave a destructor.
    for (int i = count_; i > 0; --i) {
        try {
            port_->Unlock();
        } catch (...) {
        }
    }
}

bool PortLocker::Lock() {
    if (!port_) return false;
    // A command sequence never runs without the device lock: a lock that
    // cannot be had (the usbscan port answers false after its wait) makes the
    // sequence fail as busy, as the Still Image port's Lock does by throwing.
    if (!port_->Lock()) throw DeviceIOException(DeviceIOException::kBusy);
    ++count_;
    return true;
}

bool PortLocker::Unlock() {
    if (!port_ || count_ == 0 || !port_->Unlock()) return false;
    --count_;
    return true;
}
