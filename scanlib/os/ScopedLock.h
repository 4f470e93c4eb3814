// Holds a mutex for a scope: Lock takes it, the destructor releases it, and
// only when this lock took it.
#pragma once

class OSMutex;

class ScopedLock {
public:
    explicit ScopedLock(OSMutex* mutex) : mutex_(mutex) {}
    ~ScopedLock();
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    // True when Wait(ms) acquired the mutex.
    bool Lock(int ms);
    // Lock, answering the wait result itself (0, -1, -3 or -4).
    int Acquire(int ms);
    // Hands a held mutex over to the caller: the destructor leaves it held.
    void Keep() { locked_ = false; }
    bool IsLocked() const { return locked_; }

private:
    OSMutex* mutex_;
    bool locked_ = false;
};
