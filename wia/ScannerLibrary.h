// The scanner library bound at run time: the module named by the device's
// "DeviceData" value "DLLName" and nineteen of its SI_ functions.
#pragma once

#include <SIInterface.h>

#include <windows.h>

#include <string>

class ScannerLibrary {
public:
    ScannerLibrary() = default;
    ~ScannerLibrary() { UnloadScannerLibrary(); }
    ScannerLibrary(const ScannerLibrary&) = delete;
    ScannerLibrary& operator=(const ScannerLibrary&) = delete;

    // Binds the library named under the device key; true when every name was
    // found. A partial binding is never kept.
    bool LoadScannerLibrary(HKEY deviceKey);
    // Frees the module and clears every function pointer.
    void UnloadScannerLibrary();
    bool IsBound() const { return module_ != nullptr; }

    // The library's file name for a device key: "DeviceData" "DLLName", or
    // "Pelidor.DLL" when it is absent, unreadable or does not fit.
    static std::string LibraryName(HKEY deviceKey);

    decltype(&::SI_GetScannerStatus) GetScannerStatus = nullptr;
    decltype(&::SI_GetPaperStatus) GetPaperStatus = nullptr;
    decltype(&::SI_GetButtonStatus) GetButtonStatus = nullptr;
    decltype(&::SI_GetProperty) GetProperty = nullptr;
    decltype(&::SI_SetProperty) SetProperty = nullptr;
    decltype(&::SI_Reset) Reset = nullptr;
    decltype(&::SI_Diagnostic) Diagnostic = nullptr;
    decltype(&::SI_GetLastErrorText) GetLastErrorText = nullptr;
    decltype(&::SI_GetLastError) GetLastError = nullptr;
    decltype(&::SI_StartScan) StartScan = nullptr;
    decltype(&::SI_ReadImageData) ReadImageData = nullptr;
    decltype(&::SI_EndScan) EndScan = nullptr;
    decltype(&::SI_OpenInterface) OpenInterface = nullptr;
    decltype(&::SI_CloseInterface) CloseInterface = nullptr;
    decltype(&::SI_GetEvent) GetEvent = nullptr;
    decltype(&::SI_Calibrate) Calibrate = nullptr;
    decltype(&::SI_IsCalibrated) IsCalibrated = nullptr;
    decltype(&::SI_FeedPaperOut) FeedPaperOut = nullptr;
    decltype(&::SI_Feed) Feed = nullptr;

private:
    void ClearFunctions();
    HMODULE module_ = nullptr;
};
