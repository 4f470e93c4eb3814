// Devprep.dll's entries: the co-installer entry that setup calls around a
// device installation, and the rundll32 entry that calibrates on demand.
#include "Devprep.h"

#include "CoInstaller.h"

namespace {

HINSTANCE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

// Asks to be called again after DIF_INSTALLDEVICE; then, when the device
// installed, calibrates it. The installation's result passes unchanged.
extern "C" DWORD CALLBACK CoDeviceInstall(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                          PSP_DEVINFO_DATA DeviceInfoData, PCOINSTALLER_CONTEXT_DATA Context) {
    if (Context == nullptr) return NO_ERROR;
    if (!Context->PostProcessing)
        return InstallFunction == DIF_INSTALLDEVICE ? ERROR_DI_POSTPROCESSING_REQUIRED : NO_ERROR;
    if (Context->InstallResult == NO_ERROR) RunCalibratorAfterInstall(DeviceInfoSet, DeviceInfoData, g_module);
    return Context->InstallResult;
}

// rundll32 Devprep.dll,Calibrate <library file> [<model>]
extern "C" void CALLBACK Calibrate(HWND, HINSTANCE, LPSTR commandLine, int) {
    RunCalibratorOnDemand(commandLine, g_module);
}
