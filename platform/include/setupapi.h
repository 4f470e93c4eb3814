// Device installation database: setup classes and their device instances.
#pragma once

#include <windef.h>
#include <minwinbase.h>
#include <winreg.h>

typedef PVOID HDEVINFO;

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

#ifdef __cplusplus
static_assert(sizeof(SP_DEVINFO_DATA) == (sizeof(void*) == 8 ? 32 : 28), "SP_DEVINFO_DATA layout");
#endif

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define DIOCR_INSTALLER 0x00000001
#define DIOCR_INTERFACE 0x00000002

#define DICS_FLAG_GLOBAL 0x00000001
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002

#define DIREG_DEV 0x00000001
#define DIREG_DRV 0x00000002

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C

#define ERROR_KEY_DOES_NOT_EXIST 0xE0000204u
#define ERROR_INVALID_CLASS 0xE0000206u

WINBASEAPI BOOL WINAPI SetupDiClassGuidsFromNameA(LPCSTR ClassName, LPGUID ClassGuidList, DWORD ClassGuidListSize,
                                                  LPDWORD RequiredSize);
WINBASEAPI BOOL WINAPI SetupDiClassNameFromGuidA(const GUID* ClassGuid, LPSTR ClassName, DWORD ClassNameSize,
                                                 LPDWORD RequiredSize);
WINBASEAPI HKEY WINAPI SetupDiOpenClassRegKeyExA(const GUID* ClassGuid, REGSAM samDesired, DWORD Flags,
                                                 LPCSTR MachineName, PVOID Reserved);
WINBASEAPI HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, LPCSTR Enumerator, HWND hwndParent,
                                                DWORD Flags);
WINBASEAPI BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                             PSP_DEVINFO_DATA DeviceInfoData);
WINBASEAPI BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                                         DWORD Property, LPDWORD PropertyRegDataType,
                                                         LPBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                                         LPDWORD RequiredSize);
WINBASEAPI HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                                            DWORD HwProfile, DWORD KeyType, REGSAM samDesired);
WINBASEAPI BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

// ---- device installation: install functions and co-installers ----
typedef UINT DI_FUNCTION;

#define DIF_SELECTDEVICE 0x00000001
#define DIF_INSTALLDEVICE 0x00000002
#define DIF_ASSIGNRESOURCES 0x00000003
#define DIF_PROPERTIES 0x00000004
#define DIF_REMOVE 0x00000005
#define DIF_INSTALLDEVICEFILES 0x00000015
#define DIF_REGISTERDEVICE 0x00000019
#define DIF_ALLOW_INSTALL 0x0000001C
#define DIF_NEWDEVICEWIZARD_FINISHINSTALL 0x0000001E
#define DIF_INSTALLINTERFACES 0x00000020
#define DIF_REGISTER_COINSTALLERS 0x00000022

#define ERROR_DI_DO_DEFAULT 0xE000020Eu
#define ERROR_DI_POSTPROCESSING_REQUIRED 0xE0000226u

typedef struct _COINSTALLER_CONTEXT_DATA {
    BOOL PostProcessing;
    DWORD InstallResult;
    PVOID PrivateData;
} COINSTALLER_CONTEXT_DATA, *PCOINSTALLER_CONTEXT_DATA;

#ifdef __cplusplus
static_assert(sizeof(COINSTALLER_CONTEXT_DATA) == (sizeof(void*) == 8 ? 16 : 12), "COINSTALLER_CONTEXT_DATA layout");
#endif
