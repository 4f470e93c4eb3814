// Pelidor.dll loaded at run time and the SI_ functions a front end binds from
// it, looked up by name. The library is released when the object goes.
#pragma once

#include <SIInterface.h>
#include <windows.h>

#include <memory>
#include <string>

class ScannerLibrary {
public:
    // Loads the library by name through the system's module search (the
    // program's own folder first).
    explicit ScannerLibrary(const char* file = "Pelidor.dll");

    // False when the library or one of its functions could not be bound;
    // Error() then says what is missing.
    bool Loaded() const { return loaded_; }
    const std::string& Error() const { return error_; }

    decltype(&SI_OpenInterface) OpenInterface = nullptr;
    decltype(&SI_CloseInterface) CloseInterface = nullptr;
    decltype(&SI_GetProperty) GetProperty = nullptr;
    decltype(&SI_SetProperty) SetProperty = nullptr;
    decltype(&SI_StartScan) StartScan = nullptr;
    decltype(&SI_ReadImageData) ReadImageData = nullptr;
    decltype(&SI_EndScan) EndScan = nullptr;
    decltype(&SI_Calibrate) Calibrate = nullptr;
    decltype(&SI_FeedPaperOut) FeedPaperOut = nullptr;
    decltype(&SI_GetPaperStatus) GetPaperStatus = nullptr;
    decltype(&SI_GetLastError) GetLastError = nullptr;
    decltype(&SI_GetLastErrorText) GetLastErrorText = nullptr;

    // "code (text)" for a result code, the text as the library gives it for
    // its last result.
    std::string Describe(SIResult code) const;

private:
    template <typename Function>
    void Bind(Function& function, const char* name);

    struct Release {
        void operator()(HINSTANCE__* module) const { FreeLibrary(module); }
    };
    std::unique_ptr<HINSTANCE__, Release> module_;
    bool loaded_ = false;
    std::string error_;
};
