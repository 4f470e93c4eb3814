#include "device/PortLocker.h"

#include "device/DevicePort.h"

PortLocker::~PortLocker() {
    // Nothing leaves a destructor; a failed unlock has been counted already.
    for (int i = count_; i > 0; --i) {
        try {
            port_->Unlock();
        } catch (...) {
        }
    }
}

bool PortLocker::Lock() {
    if (!port_ || !port_->Lock()) return false;
    ++count_;
    return true;
}

bool PortLocker::Unlock() {
    if (!port_ || count_ == 0 || !port_->Unlock()) return false;
    --count_;
    return true;
}
