// Terminal services: the console session's user token, session
// information and messages to a session.
#pragma once

#include <windef.h>
#include <winnt.h>

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)NULL)
#define WTS_CURRENT_SESSION ((DWORD)-1)

// Answers of WTSSendMessageA besides the button pressed.
#define IDTIMEOUT 32000
#define IDASYNC 32001

typedef enum _WTS_INFO_CLASS {
    WTSInitialProgram,
    WTSApplicationName,
    WTSWorkingDirectory,
    WTSOEMId,
    WTSSessionId,
    WTSUserName,
    WTSWinStationName,
    WTSDomainName,
    WTSConnectState
} WTS_INFO_CLASS;

WINBASEAPI BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);
WINBASEAPI BOOL WINAPI WTSQuerySessionInformationA(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                                   LPSTR* ppBuffer, DWORD* pBytesReturned);
WINBASEAPI void WINAPI WTSFreeMemory(PVOID pMemory);
WINBASEAPI BOOL WINAPI WTSSendMessageA(HANDLE hServer, DWORD SessionId, LPSTR pTitle, DWORD TitleLength, LPSTR pMessage,
                                       DWORD MessageLength, DWORD Style, DWORD Timeout, DWORD* pResponse, BOOL bWait);

#define WTSQuerySessionInformation WTSQuerySessionInformationA
#define WTSSendMessage WTSSendMessageA
