// The two locks of a scanner model held for a scope: the model's own lock
// (unnamed, ordering the API thread against the spooler's worker) and, for
// board EEPROM access, the machine-wide EEPROM lock taken after it.
#pragma once

#include "device/DeviceIOException.h"
#include "engine/model/Swiftmere.h"
#include "os/OSWait.h"

class ModelLock {
public:
    explicit ModelLock(Swiftmere& model) : mutex_(model.objectLock_) {
        held_ = mutex_.Wait(Swiftmere::kLockMs) == kWaitAcquired;
    }
    ~ModelLock() {
        if (held_) mutex_.Release();
    }
    ModelLock(const ModelLock&) = delete;
    ModelLock& operator=(const ModelLock&) = delete;

    bool Held() const { return held_; }
    // Another thread keeps the model: the caller reports busy.
    void Require() const {
        if (!held_) throw DeviceIOException(DeviceIOException::kBusy);
    }

private:
    OSMutex& mutex_;
    bool held_ = false;
};

class EepromSession {
public:
    explicit EepromSession(Swiftmere& model) : model_(model), eeprom_(model.eepromLock_) {
        if (model_.Held()) eepromHeld_ = eeprom_.Wait(Swiftmere::kLockMs) == kWaitAcquired;
    }
    ~EepromSession() {
        if (eepromHeld_) eeprom_.Release();
    }
    EepromSession(const EepromSession&) = delete;
    EepromSession& operator=(const EepromSession&) = delete;

    bool Held() const { return eepromHeld_; }

private:
    ModelLock model_;
    OSMutex& eeprom_;
    bool eepromHeld_ = false;
};
