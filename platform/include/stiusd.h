// Still Image user-mode driver interfaces: the driver's IStiUSD and the
// service's IStiDeviceControl handed to it.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <winreg.h>
#include <minwinbase.h>
#include <unknwn.h>
#include <sti.h>

#define STI_USD_GENCAP_NATIVE_PUSHSUPPORT 0x00000001u
#define STI_GENCAP_NOTIFICATIONS 0x00000001u
#define STI_GENCAP_POLLING_NEEDED 0x00000002u
#define STI_GENCAP_GENERATE_ARRIVALEVENT 0x00000004u
#define STI_GENCAP_AUTO_PORTSELECT 0x00000008u
#define STI_GENCAP_WIA 0x00000010u

#define STI_DEVSTATUS_ONLINE_STATE 0x00000001u
#define STI_DEVSTATUS_EVENTS_STATE 0x00000002u

#define STI_ONLINESTATE_OPERATIONAL 0x00000001u
#define STI_ONLINESTATE_PENDING 0x00000002u
#define STI_ONLINESTATE_ERROR 0x00000004u
#define STI_ONLINESTATE_PAUSED 0x00000008u
#define STI_ONLINESTATE_PAPER_JAM 0x00000010u
#define STI_ONLINESTATE_PAPER_PROBLEM 0x00000020u
#define STI_ONLINESTATE_OFFLINE 0x00000040u
#define STI_ONLINESTATE_IO_ACTIVE 0x00000080u
#define STI_ONLINESTATE_BUSY 0x00000100u

#define STI_EVENTHANDLING_ENABLED 0x00000001u
#define STI_EVENTHANDLING_POLLING 0x00000002u
#define STI_EVENTHANDLING_PENDING 0x00000004u

#define STI_TRACE_INFORMATION 0x00000001u
#define STI_TRACE_WARNING 0x00000002u
#define STI_TRACE_ERROR 0x00000004u

typedef struct _STI_USD_CAPS {
    DWORD dwVersion;
    DWORD dwGenericCaps;
} STI_USD_CAPS, *PSTI_USD_CAPS;

#ifdef __cplusplus
inline constexpr IID IID_IStiUSD = {0x0C9BB460, 0x51AC, 0x11D0, {0x90, 0xEA, 0x00, 0xAA, 0x00, 0x60, 0xF8, 0x6C}};

struct IStiDeviceControl : IUnknown {
    STDMETHOD(Initialize)(DWORD dwDeviceType, DWORD dwMode, LPCWSTR pwszPortName, DWORD dwFlags) = 0;
    STDMETHOD(RawReadData)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteData)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawReadCommand)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteCommand)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawDeviceControl)(DWORD EscapeFunction, LPVOID lpInData, DWORD cbInDataSize, LPVOID pOutData,
                                DWORD dwOutDataSize, LPDWORD pdwActualData) = 0;
    STDMETHOD(GetLastError)(LPDWORD lpdwLastError) = 0;
    STDMETHOD(GetMyDevicePortName)(LPWSTR lpszDevicePath, DWORD cwDevicePathSize) = 0;
    STDMETHOD(GetMyDeviceHandle)(LPHANDLE lph) = 0;
    STDMETHOD(GetMyDeviceOpenMode)(LPDWORD pdwOpenMode) = 0;
    STDMETHOD(WriteToErrorLog)(DWORD dwMessageType, LPCWSTR pszMessage, DWORD dwErrorCode) = 0;

protected:
    ~IStiDeviceControl() = default;
};
typedef IStiDeviceControl* PSTIDEVICECONTROL;

struct IStiUSD : IUnknown {
    STDMETHOD(Initialize)(PSTIDEVICECONTROL pHelDcb, DWORD dwStiVersion, HKEY hParametersKey) = 0;
    STDMETHOD(GetCapabilities)(PSTI_USD_CAPS pDevCaps) = 0;
    STDMETHOD(GetStatus)(PSTI_DEVICE_STATUS pDevStatus) = 0;
    STDMETHOD(DeviceReset)() = 0;
    STDMETHOD(Diagnostic)(LPSTI_DIAG pBuffer) = 0;
    STDMETHOD(Escape)(STI_RAW_CONTROL_CODE EscapeFunction, LPVOID lpInData, DWORD cbInDataSize, LPVOID pOutData,
                      DWORD dwOutDataSize, LPDWORD pdwActualData) = 0;
    STDMETHOD(GetLastError)(LPDWORD pdwLastDeviceError) = 0;
    STDMETHOD(LockDevice)() = 0;
    STDMETHOD(UnLockDevice)() = 0;
    STDMETHOD(RawReadData)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteData)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawReadCommand)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteCommand)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(SetNotificationHandle)(HANDLE hEvent) = 0;
    STDMETHOD(GetNotificationData)(LPSTINOTIFY lpNotify) = 0;
    STDMETHOD(GetLastErrorInfo)(STI_ERROR_INFO* pLastErrorInfo) = 0;

protected:
    ~IStiUSD() = default;
};
typedef IStiUSD* PSTIUSD;
#endif
