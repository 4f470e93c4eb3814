// Mutex over a Win32 mutex object, named or unnamed, local or global.
#pragma once

#include "os/OSMutex.h"

#include <windows.h>

class OSMutexWin : public OSMutexInterface {
public:
    OSMutexWin() = default;
    // Closes the handle (which does not release a mutex still owned).
    ~OSMutexWin() override;
    OSMutexWin(const OSMutexWin&) = delete;
    OSMutexWin& operator=(const OSMutexWin&) = delete;

    // True at once when a handle exists. A global name on NT is "Global\" +
    // name and opens another process's mutex before creating one.
    bool Create(const char* name, bool global) override;
    void Close() override;
    // 0 acquired (also when abandoned), -1 time-out, -3 no handle, -4 failure.
    int Wait(int ms) override;
    int Lock() override;
    bool Release() override;

private:
    HANDLE handle_ = nullptr;
};
