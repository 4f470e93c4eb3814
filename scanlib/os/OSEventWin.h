// Event over a Win32 event object.
#pragma once

#include "os/NullDaclSecurity.h"
#include "os/OSEvent.h"

#include <windows.h>

class OSEventWin : public OSEventInterface {
public:
    OSEventWin() = default;
    ~OSEventWin() override;
    OSEventWin(const OSEventWin&) = delete;
    OSEventWin& operator=(const OSEventWin&) = delete;

    // False when the event already exists.
    bool Create(const char* name, bool manualReset) override;
    void Close() override;
    bool Set() override;
    bool Reset() override;
    int Wait(int ms) override;
    int WaitInfinite() override;

private:
    HANDLE handle_ = nullptr;
    NullDaclSecurity security_;
};
