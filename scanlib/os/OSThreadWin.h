// Thread started with _beginthreadex that runs a ThreadCallback.
#pragma once

#include "os/NullDaclSecurity.h"
#include "os/OSThread.h"

#include <windows.h>

class OSThreadWin : public OSThreadInterface {
public:
    OSThreadWin() = default;
    // Closes the handle; the thread itself is not ended.
    ~OSThreadWin() override;
    OSThreadWin(const OSThreadWin&) = delete;
    OSThreadWin& operator=(const OSThreadWin&) = delete;

    // False when a thread was already started.
    bool Start(ThreadCallback* cb, int arg) override;
    // 0 when the thread ended or was never started, -1 on time-out, -4 on failure.
    int Wait(int ms) override;
    // Levels 0, 1, 2, 3, -1, -2, -3; any other level, or no thread, gives false.
    bool SetPriority(int level) override;
    void Close() override;

private:
    static unsigned __stdcall ThreadProc(void* self);

    HANDLE handle_ = nullptr;
    unsigned threadId_ = 0;
    ThreadCallback* callback_ = nullptr;
    int arg_ = 0;
    NullDaclSecurity security_;
};
