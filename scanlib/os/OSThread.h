// Threads: the operation list, the factory of the Win32 implementation and
// the facade that the library embeds by value.
#pragma once

#include <memory>

class ThreadCallback;

class OSThreadInterface {
public:
    virtual bool Start(ThreadCallback* cb, int arg) = 0;
    virtual int Wait(int ms) = 0;
    virtual bool SetPriority(int level) = 0;
    virtual void Close() = 0;
    virtual ~OSThreadInterface() = default;
};

// A new OSThreadWin, or null when it cannot be allocated.
std::unique_ptr<OSThreadInterface> CreateOSThread();

// Owns one implementation and forwards every operation to it. Without an
// implementation Start and SetPriority give false and Wait gives -4.
class OSThread : public OSThreadInterface {
public:
    OSThread();
    ~OSThread() override;
    OSThread(const OSThread&) = delete;
    OSThread& operator=(const OSThread&) = delete;

    bool Start(ThreadCallback* cb, int arg) override;
    int Wait(int ms) override;
    bool SetPriority(int level) override;
    void Close() override;

private:
    std::unique_ptr<OSThreadInterface> impl_;
};
