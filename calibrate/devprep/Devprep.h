// Devprep.dll's exports: the co-installer entry and the rundll32 entry.
#pragma once

#include <setupapi.h>
#include <windows.h>

#if defined(__GNUC__)
#define DEVPREP_EXPORT __attribute__((visibility("default")))
#else
#define DEVPREP_EXPORT
#endif

extern "C" {
DEVPREP_EXPORT DWORD CALLBACK CoDeviceInstall(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, PCOINSTALLER_CONTEXT_DATA Context);
DEVPREP_EXPORT void CALLBACK Calibrate(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
}
