// A kernel object handle that every process may open (null DACL,
// inheritable), with creation of events and mutexes and the minidriver's
// wait results; and a thread that runs an object's Run.
#pragma once

#include <windows.h>
#include <process.h>

class OSObject {
public:
    OSObject() = default;
    virtual ~OSObject();
    OSObject(const OSObject&) = delete;
    OSObject& operator=(const OSObject&) = delete;

    // False when a handle already exists, the security can't be built or
    // the creation fails.
    bool CreateSharedEvent(bool manualReset);
    bool CreateSharedMutex(const char* name);
    // 0 acquired or abandoned, -1 time-out, -3 no handle, -4 wait failure.
    int Lock(DWORD milliseconds);
    // 0 signalled, -1 not signalled, -3 no handle, -4 failure.
    int IsSignaled();
    void Close();
    HANDLE Handle() const { return handle_; }

    // A null-DACL descriptor and inheritable attributes in `descriptor` and
    // `attributes`; false when the descriptor can't be built.
    static bool BuildSharedSecurity(SECURITY_DESCRIPTOR* descriptor, SECURITY_ATTRIBUTES* attributes);

protected:
    HANDLE handle_ = nullptr;
};

class OSThread : public OSObject {
public:
    ~OSThread() override;
    virtual void Run() = 0;
    bool Start(unsigned stackSize);
    DWORD ThreadId() const { return threadId_; }

private:
    static unsigned __stdcall Entry(void* self);
    unsigned threadId_ = 0;
};
