// Terminal services of the emulated machine: one console session with its
// user (or nobody), its token, its description and messages shown to it
// through the message-box layer.
#include "advapi32/TokenObject.h"
#include "core/Controls.h"
#include "wtsapi32/ConsoleSession.h"

#include <processthreadsapi.h>
#include <winbase.h>
#include <winuser.h>
#include <wtsapi32.h>

#include <cstring>
#include <string>

namespace {

bool IsConsole(DWORD session) {
    const DWORD console = platform::ConsoleSession();
    return console != platform::kNoSession && session == console;
}

}  // namespace

WINBASEAPI DWORD WINAPI WTSGetActiveConsoleSessionId(void) { return platform::ConsoleSession(); }

WINBASEAPI BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
    using namespace platform;
    if (FailNow("WTSQueryUserToken")) return FALSE;
    if (phToken == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsConsole(SessionId)) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    *phToken = NewTokenHandle(ConsoleUser(), SessionId);
    return TRUE;
}

WINBASEAPI BOOL WINAPI WTSQuerySessionInformationA(HANDLE, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                                   LPSTR* ppBuffer, DWORD* pBytesReturned) {
    using namespace platform;
    if (FailNow("WTSQuerySessionInformationA")) return FALSE;
    if (ppBuffer == nullptr || pBytesReturned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD session = SessionId == WTS_CURRENT_SESSION ? static_cast<DWORD>(Session()) : SessionId;
    std::string bytes;
    switch (WTSInfoClass) {
        case WTSSessionId:
            bytes.assign(reinterpret_cast<const char*>(&session), sizeof session);
            break;
        case WTSUserName:
            bytes = (IsConsole(session) ? ConsoleUser().name : std::string()) + '\0';
            break;
        case WTSWinStationName:
            bytes = std::string(session == 0 ? "Services" : "Console") + '\0';
            break;
        case WTSDomainName:
            bytes = std::string(IsConsole(session) ? "WORKGROUP" : "") + '\0';
            break;
        default:
            DebugLine("WTSQuerySessionInformationA: only the id, user, station and domain are supported");
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
    }
    auto* buffer = static_cast<char*>(LocalAlloc(LPTR, bytes.size()));
    if (buffer == nullptr) return FALSE;
    std::memcpy(buffer, bytes.data(), bytes.size());
    *ppBuffer = buffer;
    *pBytesReturned = static_cast<DWORD>(bytes.size());
    return TRUE;
}

WINBASEAPI void WINAPI WTSFreeMemory(PVOID pMemory) {
    if (pMemory != nullptr) LocalFree(pMemory);
}

WINBASEAPI BOOL WINAPI WTSSendMessageA(HANDLE, DWORD SessionId, LPSTR pTitle, DWORD TitleLength, LPSTR pMessage,
                                       DWORD MessageLength, DWORD Style, DWORD, DWORD* pResponse, BOOL bWait) {
    using namespace platform;
    if (FailNow("WTSSendMessageA")) return FALSE;
    if (pResponse == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsConsole(SessionId)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string title(pTitle ? pTitle : "", pTitle ? TitleLength : 0);
    const std::string text(pMessage ? pMessage : "", pMessage ? MessageLength : 0);
    const int answer = MessageBoxA(nullptr, text.c_str(), title.c_str(), Style);
    *pResponse = bWait ? static_cast<DWORD>(answer) : static_cast<DWORD>(IDASYNC);
    return TRUE;
}
