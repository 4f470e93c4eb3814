// User services of Windows 5.1 and later: the user is the one at the
// console session, reached through the terminal-services functions looked
// up at run time.
#pragma once

#include "SingleUserServices2000.h"

#include <wtsapi32.h>

class MultiUserServices : public SingleUserServices2000 {
public:
    explicit MultiUserServices(DWORD waitLimit);
    ~MultiUserServices() override;

    int ShowMessage(const char* text, const char* caption, int style) override;
    bool Init() override;
    bool GetUserToken(HANDLE* token, DWORD access) override;

private:
    using WTSQueryUserTokenFn = decltype(&WTSQueryUserToken);
    using WTSQuerySessionInformationAFn = decltype(&WTSQuerySessionInformationA);
    using WTSFreeMemoryFn = decltype(&WTSFreeMemory);
    using WTSSendMessageAFn = decltype(&WTSSendMessageA);
    using WTSGetActiveConsoleSessionIdFn = decltype(&WTSGetActiveConsoleSessionId);

    HMODULE wtsapi32_ = nullptr;
    WTSQueryUserTokenFn queryUserToken_ = nullptr;
    WTSQuerySessionInformationAFn querySessionInformation_ = nullptr;
    WTSFreeMemoryFn freeMemory_ = nullptr;
    WTSSendMessageAFn sendMessage_ = nullptr;
    WTSGetActiveConsoleSessionIdFn activeConsoleSessionId_ = nullptr;
};
