// Critical section over a Win32 CRITICAL_SECTION.
#pragma once

#include "os/OSCriticalSection.h"

#include <windows.h>

class OSCriticalSectionWin : public OSCriticalSectionInterface {
public:
    OSCriticalSectionWin() = default;
    ~OSCriticalSectionWin() override;
    OSCriticalSectionWin(const OSCriticalSectionWin&) = delete;
    OSCriticalSectionWin& operator=(const OSCriticalSectionWin&) = delete;

    // Initialises once; always true.
    bool Init() override;
    // Delete, Enter and Leave act only while initialised.
    void Delete() override;
    void Enter() override;
    void Leave() override;

private:
    CRITICAL_SECTION section_{};
    bool initialised_ = false;
};
