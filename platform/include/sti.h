// Still Image client interfaces: the service object and its devices.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <minwinbase.h>
#include <unknwn.h>

#define STI_VERSION 2
#define STI_MAX_INTERNAL_NAME_LENGTH 128
#define MAX_NOTIFICATION_DATA 64

#define STI_DEVICE_CREATE_STATUS 0x00000001u
#define STI_DEVICE_CREATE_DATA 0x00000002u
#define STI_DEVICE_CREATE_BOTH 0x00000003u
#define STI_DEVICE_CREATE_FOR_MONITOR 0x01000000u

typedef enum _STI_DEVICE_MJ_TYPE {
    StiDeviceTypeDefault = 0,
    StiDeviceTypeScanner = 1,
    StiDeviceTypeDigitalCamera = 2,
    StiDeviceTypeStreamingVideo = 3
} STI_DEVICE_MJ_TYPE;
typedef DWORD STI_DEVICE_TYPE;
typedef DWORD STI_RAW_CONTROL_CODE;

typedef struct _STI_DEV_CAPS {
    DWORD dwGeneric;
} STI_DEV_CAPS, *PSTI_DEV_CAPS;

typedef struct _STI_DEVICE_INFORMATIONW {
    DWORD dwSize;
    STI_DEVICE_TYPE DeviceType;
    WCHAR szDeviceInternalName[STI_MAX_INTERNAL_NAME_LENGTH];
    STI_DEV_CAPS DeviceCapabilitiesA;
    DWORD dwHardwareConfiguration;
    LPWSTR pszVendorDescription;
    LPWSTR pszDeviceDescription;
    LPWSTR pszPortName;
    LPWSTR pszPropProvider;
    LPWSTR pszLocalName;
} STI_DEVICE_INFORMATIONW, *PSTI_DEVICE_INFORMATIONW;

typedef struct _STI_DEVICE_STATUS {
    DWORD dwSize;
    DWORD StatusMask;
    DWORD dwOnlineState;
    DWORD dwHardwareStatusCode;
    DWORD dwEventHandlingState;
    DWORD dwPollingInterval;
} STI_DEVICE_STATUS, *PSTI_DEVICE_STATUS;

typedef struct _ERROR_INFOW {
    DWORD dwSize;
    DWORD dwGenericError;
    DWORD dwVendorError;
    WCHAR szExtendedErrorText[255];
} STI_ERROR_INFOW, STI_ERROR_INFO, *PSTI_ERROR_INFOW;

typedef struct _STI_DIAG {
    DWORD dwSize;
    DWORD dwBasicDiagCode;
    DWORD dwVendorDiagCode;
    DWORD dwStatusMask;
    STI_ERROR_INFOW sErrorInfo;
} STI_DIAG, *LPSTI_DIAG;

typedef struct _STISUBSCRIBE {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFilter;
    HWND hWndNotify;
    HANDLE hEvent;
    UINT uiNotificationMessage;
} STISUBSCRIBE, *LPSTISUBSCRIBE;

typedef struct _STINOTIFY {
    DWORD dwSize;
    GUID guidNotificationCode;
    BYTE abNotificationData[MAX_NOTIFICATION_DATA];
} STINOTIFY, *LPSTINOTIFY;

#ifdef __cplusplus
struct IStiDevice : IUnknown {
    STDMETHOD(Initialize)(HINSTANCE hinst, LPCWSTR pwszDeviceName, DWORD dwVersion, DWORD dwMode) = 0;
    STDMETHOD(GetCapabilities)(PSTI_DEV_CAPS pDevCaps) = 0;
    STDMETHOD(GetStatus)(PSTI_DEVICE_STATUS pDevStatus) = 0;
    STDMETHOD(DeviceReset)() = 0;
    STDMETHOD(Diagnostic)(LPSTI_DIAG pBuffer) = 0;
    STDMETHOD(Escape)(STI_RAW_CONTROL_CODE EscapeFunction, LPVOID lpInData, DWORD cbInDataSize, LPVOID pOutData,
                      DWORD dwOutDataSize, LPDWORD pdwActualData) = 0;
    STDMETHOD(GetLastError)(LPDWORD pdwLastDeviceError) = 0;
    STDMETHOD(LockDevice)(DWORD dwTimeOut) = 0;
    STDMETHOD(UnLockDevice)() = 0;
    STDMETHOD(RawReadData)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteData)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawReadCommand)(LPVOID lpBuffer, LPDWORD lpdwNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(RawWriteCommand)(LPVOID lpBuffer, DWORD nNumberOfBytes, LPOVERLAPPED lpOverlapped) = 0;
    STDMETHOD(Subscribe)(LPSTISUBSCRIBE lpSubsribe) = 0;
    STDMETHOD(GetLastNotificationData)(LPSTINOTIFY lpNotify) = 0;
    STDMETHOD(UnSubscribe)() = 0;
    STDMETHOD(GetLastErrorInfo)(STI_ERROR_INFO* pLastErrorInfo) = 0;

protected:
    ~IStiDevice() = default;
};
typedef IStiDevice* PSTIDEVICE;

struct IStillImageW : IUnknown {
    STDMETHOD(Initialize)(HINSTANCE hinst, DWORD dwVersion) = 0;
    STDMETHOD(GetDeviceList)(DWORD dwType, DWORD dwFlags, DWORD* pdwItemsReturned, LPVOID* ppBuffer) = 0;
    STDMETHOD(GetDeviceInfo)(LPWSTR pwszDeviceName, LPVOID* ppBuffer) = 0;
    STDMETHOD(CreateDevice)(LPWSTR pwszDeviceName, DWORD dwMode, PSTIDEVICE* pDevice, LPUNKNOWN punkOuter) = 0;
    STDMETHOD(GetDeviceValue)(LPWSTR pwszDeviceName, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                              LPDWORD cbData) = 0;
    STDMETHOD(SetDeviceValue)(LPWSTR pwszDeviceName, LPWSTR pValueName, DWORD Type, LPBYTE pData,
                              DWORD cbData) = 0;
    STDMETHOD(GetSTILaunchInformation)(LPWSTR pwszDeviceName, DWORD* pdwEventCode, LPWSTR pwszEventName) = 0;
    STDMETHOD(RegisterLaunchApplication)(LPWSTR pwszAppName, LPWSTR pwszCommandLine) = 0;
    STDMETHOD(UnregisterLaunchApplication)(LPWSTR pwszAppName) = 0;
    STDMETHOD(EnableHwNotifications)(LPCWSTR pwszDeviceName, BOOL bNewState) = 0;
    STDMETHOD(GetHwNotificationState)(LPCWSTR pwszDeviceName, BOOL* pbCurrentState) = 0;
    STDMETHOD(RefreshDeviceBus)(LPCWSTR pwszDeviceName) = 0;
    STDMETHOD(LaunchApplicationForDevice)(LPWSTR pwszDeviceName, LPWSTR pwszAppName, LPSTINOTIFY pStiNotify) = 0;
    STDMETHOD(SetupDeviceParameters)(PSTI_DEVICE_INFORMATIONW pDevInfo) = 0;
    STDMETHOD(WriteToErrorLog)(DWORD dwMessageType, LPCWSTR pszMessage) = 0;

protected:
    ~IStillImageW() = default;
};
typedef IStillImageW* PSTIW;
typedef IStillImageW IStillImage;

WINBASEAPI HRESULT WINAPI StiCreateInstanceW(HINSTANCE hinst, DWORD dwVer, IStillImageW** ppSti,
                                             LPUNKNOWN punkOuter);
#define StiCreateInstance StiCreateInstanceW
#endif
