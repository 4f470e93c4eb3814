// Acting for the person at the console from a service or installer process:
// run a program on their desktop under their account, show them a message,
// open their registry hive. UserServices is both the interface and the
// facade: Create() picks the implementation that suits the Windows version
// and the facade forwards every operation to it.
#pragma once

#include <windows.h>

#include <string>

class UserServices {
public:
    // `waitLimit`: how long RunProgram waits for a program it was asked to
    // wait for (INFINITE: until it ends).
    explicit UserServices(DWORD waitLimit = INFINITE);
    virtual ~UserServices();
    UserServices(const UserServices&) = delete;
    UserServices& operator=(const UserServices&) = delete;

    virtual bool EnterUserDesktop();
    virtual void LeaveUserDesktop();
    virtual bool RunProgram(std::string commandLine, bool wait);
    virtual bool HasUserToken();
    virtual int ShowMessage(const char* text, const char* caption, int style);
    virtual bool OpenUserKey(std::string subKey, HKEY* key);
    // The facade is never the object Create initialises: false.
    virtual bool Init();

    // Makes the implementation for this Windows version and initialises it;
    // the result is that of its Init().
    bool Create();
    void Destroy();

    // The implementation Create made, or null.
    const UserServices* Implementation() const { return impl_; }

protected:
    DWORD WaitLimit() const { return waitLimit_; }

private:
    UserServices* impl_ = nullptr;
    DWORD waitLimit_;
};

// The text form of a SID ("S-1-5-21-..."). *length holds the buffer's size;
// when it is too small it receives the size needed (28 + 12 per
// sub-authority), the last error is ERROR_INSUFFICIENT_BUFFER and the result
// false. An invalid SID gives false.
bool FormatSidString(PSID sid, char* text, DWORD* length);
