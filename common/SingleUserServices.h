// User services of Windows versions before 5: one user, who is the caller.
#pragma once

#include "UserServices.h"

class SingleUserServices : public UserServices {
public:
    explicit SingleUserServices(DWORD waitLimit);

    bool EnterUserDesktop() override;
    void LeaveUserDesktop() override;
    bool RunProgram(std::string commandLine, bool wait) override;
    bool HasUserToken() override;
    int ShowMessage(const char* text, const char* caption, int style) override;
    bool OpenUserKey(std::string subKey, HKEY* key) override;
    bool Init() override;

protected:
    // Starts the command line on the desktop "default" in "C:\" (as the
    // token's user, or as the caller without a token) and, when asked,
    // waits for it within the wait limit. The process and thread handles
    // are closed on every path.
    bool StartProgram(HANDLE token, const std::string& commandLine, bool wait);
};
