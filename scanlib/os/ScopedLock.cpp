#include "os/ScopedLock.h"

#include "os/OSMutex.h"
#include "os/OSWait.h"

ScopedLock::~ScopedLock() {
    if (locked_) mutex_->Release();
}

bool ScopedLock::Lock(int ms) { return Acquire(ms) == kWaitAcquired; }

int ScopedLock::Acquire(int ms) {
    if (locked_) return kWaitAcquired;
    if (!mutex_) return kWaitNoHandle;
    const int result = mutex_->Wait(ms);
    locked_ = result == kWaitAcquired;
    return result;
}
