// The scanner library bound at run time: the seven functions the calibrator
// calls, looked up by name. The library is freed with the object.
#pragma once

#include <SIInterface.h>
#include <windows.h>

class Scanner {
public:
    Scanner() = default;
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // False when the library or any of the functions is missing; nothing
    // stays loaded then.
    bool Load(const char* libraryFile);

    HMODULE m_module = nullptr;
    decltype(&SI_GetPaperStatus) GetPaperStatus = nullptr;
    decltype(&SI_GetProperty) GetProperty = nullptr;
    decltype(&SI_OpenInterface) OpenInterface = nullptr;
    decltype(&SI_CloseInterface) CloseInterface = nullptr;
    decltype(&SI_Calibrate) Calibrate = nullptr;
    decltype(&SI_IsCalibrated) IsCalibrated = nullptr;
    decltype(&SI_Clean) Clean = nullptr;
};
