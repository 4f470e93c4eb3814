// Mutexes: the operation list, the factory of the Win32 implementation and
// the facade that the library embeds by value.
#pragma once

#include <memory>

class OSMutexInterface {
public:
    virtual bool Create(const char* name, bool global) = 0;
    virtual void Close() = 0;
    virtual int Wait(int ms) = 0;
    virtual int Lock() = 0;
    virtual bool Release() = 0;
    virtual ~OSMutexInterface() = default;
};

// A new OSMutexWin, or null when it cannot be allocated.
std::unique_ptr<OSMutexInterface> CreateOSMutex();

// Owns one implementation and forwards every operation to it. Without an
// implementation Create and Release give false and the waits give -4.
class OSMutex : public OSMutexInterface {
public:
    OSMutex();
    ~OSMutex() override;
    OSMutex(const OSMutex&) = delete;
    OSMutex& operator=(const OSMutex&) = delete;

    bool Create(const char* name, bool global) override;
    void Close() override;
    int Wait(int ms) override;
    int Lock() override;
    bool Release() override;

private:
    std::unique_ptr<OSMutexInterface> impl_;
};
