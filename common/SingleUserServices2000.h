// User services of Windows 5.0: the user is the owner of the shell process
// "explorer.exe"; the window station and desktop functions of user32 and the
// process functions of psapi are looked up at run time.
#pragma once

#include "SingleUserServices.h"

#include <psapi.h>

class SingleUserServices2000 : public SingleUserServices {
public:
    explicit SingleUserServices2000(DWORD waitLimit);
    ~SingleUserServices2000() override;

    bool EnterUserDesktop() override;
    void LeaveUserDesktop() override;
    bool RunProgram(std::string commandLine, bool wait) override;
    bool HasUserToken() override;
    bool OpenUserKey(std::string subKey, HKEY* key) override;
    bool Init() override;
    // A token of the user's account with `access`; false without a user.
    virtual bool GetUserToken(HANDLE* token, DWORD access);

private:
    void FreeModules();

    using GetProcessWindowStationFn = decltype(&GetProcessWindowStation);
    using SetProcessWindowStationFn = decltype(&SetProcessWindowStation);
    using OpenWindowStationAFn = decltype(&OpenWindowStationA);
    using CloseWindowStationFn = decltype(&CloseWindowStation);
    using SetThreadDesktopFn = decltype(&SetThreadDesktop);
    using CloseDesktopFn = decltype(&CloseDesktop);
    using EnumProcessesFn = decltype(&EnumProcesses);
    using EnumProcessModulesFn = decltype(&EnumProcessModules);
    using GetModuleBaseNameAFn = decltype(&GetModuleBaseNameA);

    HMODULE user32_ = nullptr;
    HMODULE psapi_ = nullptr;
    GetProcessWindowStationFn getProcessWindowStation_ = nullptr;
    SetProcessWindowStationFn setProcessWindowStation_ = nullptr;
    OpenWindowStationAFn openWindowStation_ = nullptr;
    CloseWindowStationFn closeWindowStation_ = nullptr;
    SetThreadDesktopFn setThreadDesktop_ = nullptr;
    CloseDesktopFn closeDesktop_ = nullptr;
    EnumProcessesFn enumProcesses_ = nullptr;
    EnumProcessModulesFn enumProcessModules_ = nullptr;
    GetModuleBaseNameAFn getModuleBaseName_ = nullptr;

    HWINSTA savedStation_ = nullptr;
    HDESK savedDesktop_ = nullptr;
    HWINSTA userStation_ = nullptr;
    HDESK userDesktop_ = nullptr;
};
