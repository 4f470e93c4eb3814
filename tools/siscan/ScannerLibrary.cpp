#include "ScannerLibrary.h"

ScannerLibrary::ScannerLibrary(const char* file) : module_(LoadLibraryA(file))
{
    if (!module_) {
        error_ = std::string("cannot load ") + file + " (error " + std::to_string(::GetLastError()) + ")";
        return;
    }
    loaded_ = true;
    Bind(OpenInterface, "SI_OpenInterface");
    Bind(CloseInterface, "SI_CloseInterface");
    Bind(GetProperty, "SI_GetProperty");
    Bind(SetProperty, "SI_SetProperty");
    Bind(StartScan, "SI_StartScan");
    Bind(ReadImageData, "SI_ReadImageData");
    Bind(EndScan, "SI_EndScan");
    Bind(Calibrate, "SI_Calibrate");
    Bind(FeedPaperOut, "SI_FeedPaperOut");
    Bind(GetPaperStatus, "SI_GetPaperStatus");
    Bind(GetLastError, "SI_GetLastError");
    Bind(GetLastErrorText, "SI_GetLastErrorText");
}

template <typename Function>
void ScannerLibrary::Bind(Function& function, const char* name)
{
    // Through the generic function pointer type, which every function pointer converts to and from.
    using Generic = void (*)();
    function = reinterpret_cast<Function>(reinterpret_cast<Generic>(GetProcAddress(module_.get(), name)));
    if (function == nullptr && loaded_) {
        loaded_ = false;
        error_ = std::string("the scanner library has no ") + name;
    }
}

std::string ScannerLibrary::Describe(SIResult code) const
{
    std::string text = std::to_string(code);
    const char* message = nullptr;
    if (GetLastErrorText != nullptr && GetLastErrorText(&message) == SI_OK && message != nullptr) {
        text += std::string(" (") + message + ")";
    }
    return text;
}
