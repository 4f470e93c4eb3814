// Events: the operation list, the factory of the Win32 implementation and the
// facade that the library embeds by value.
#pragma once

#include <memory>

class OSEventInterface {
public:
    virtual bool Create(const char* name, bool manualReset) = 0;
    virtual void Close() = 0;
    virtual bool Set() = 0;
    virtual bool Reset() = 0;
    virtual int Wait(int ms) = 0;
    virtual int WaitInfinite() = 0;
    virtual ~OSEventInterface() = default;
};

// A new OSEventWin, or null when it cannot be allocated.
std::unique_ptr<OSEventInterface> CreateOSEvent();

// Owns one implementation and forwards every operation to it. Without an
// implementation Create, Set and Reset give false and the waits give -4.
class OSEvent : public OSEventInterface {
public:
    OSEvent();
    ~OSEvent() override;
    OSEvent(const OSEvent&) = delete;
    OSEvent& operator=(const OSEvent&) = delete;

    bool Create(const char* name, bool manualReset) override;
    void Close() override;
    bool Set() override;
    bool Reset() override;
    int Wait(int ms) override;
    int WaitInfinite() override;

private:
    std::unique_ptr<OSEventInterface> impl_;
};
