// Critical sections: the operation list, the factory of the Win32
// implementation and the facade that the library embeds by value.
#pragma once

#include <memory>

class OSCriticalSectionInterface {
public:
    virtual bool Init() = 0;
    virtual void Delete() = 0;
    virtual void Enter() = 0;
    virtual void Leave() = 0;
    virtual ~OSCriticalSectionInterface() = default;
};

// A new OSCriticalSectionWin, or null when it cannot be allocated.
std::unique_ptr<OSCriticalSectionInterface> CreateOSCriticalSection();

// Owns one implementation and forwards every operation to it. Without an
// implementation Init gives false and the others do nothing.
class OSCriticalSection : public OSCriticalSectionInterface {
public:
    OSCriticalSection();
    ~OSCriticalSection() override;
    OSCriticalSection(const OSCriticalSection&) = delete;
    OSCriticalSection& operator=(const OSCriticalSection&) = delete;

    bool Init() override;
    void Delete() override;
    void Enter() override;
    void Leave() override;

private:
    std::unique_ptr<OSCriticalSectionInterface> impl_;
};
