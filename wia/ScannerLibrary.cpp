#include "ScannerLibrary.h"

namespace {

constexpr char kDefaultLibrary[] = "Pelidor.DLL";
constexpr DWORD kNameBufferSize = 260;

template <typename F>
bool Bind(HMODULE module, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *slot != nullptr;
}

}  // namespace

std::string ScannerLibrary::LibraryName(HKEY deviceKey) {
    HKEY data = nullptr;
    if (deviceKey == nullptr || RegOpenKeyExA(deviceKey, "DeviceData", 0, KEY_READ, &data) != ERROR_SUCCESS) {
        return kDefaultLibrary;
    }
    char name[kNameBufferSize] = {};
    // One byte is kept back for the terminator: a value that fills the whole
    // buffer is cut short and counts as unreadable.
    DWORD size = kNameBufferSize - 1;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(data, "DLLName", nullptr, &type, reinterpret_cast<LPBYTE>(name), &size);
    RegCloseKey(data);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size >= kNameBufferSize) {
        return kDefaultLibrary;
    }
    name[size] = '\0';
    if (name[0] == '\0') return kDefaultLibrary;
    return name;
}

bool ScannerLibrary::LoadScannerLibrary(HKEY deviceKey) {
    UnloadScannerLibrary();
    HMODULE module = LoadLibraryA(LibraryName(deviceKey).c_str());
    if (module == nullptr) return false;
    const bool bound = Bind(module, "SI_GetScannerStatus", &GetScannerStatus) &&
                       Bind(module, "SI_GetPaperStatus", &GetPaperStatus) &&
                       Bind(module, "SI_GetButtonStatus", &GetButtonStatus) &&
                       Bind(module, "SI_GetProperty", &GetProperty) && Bind(module, "SI_SetProperty", &SetProperty) &&
                       Bind(module, "SI_Reset", &Reset) && Bind(module, "SI_Diagnostic", &Diagnostic) &&
                       Bind(module, "SI_GetLastErrorText", &GetLastErrorText) &&
                       Bind(module, "SI_GetLastError", &GetLastError) && Bind(module, "SI_StartScan", &StartScan) &&
                       Bind(module, "SI_ReadImageData", &ReadImageData) && Bind(module, "SI_EndScan", &EndScan) &&
                       Bind(module, "SI_OpenInterface", &OpenInterface) &&
                       Bind(module, "SI_CloseInterface", &CloseInterface) && Bind(module, "SI_GetEvent", &GetEvent) &&
                       Bind(module, "SI_Calibrate", &Calibrate) && Bind(module, "SI_IsCalibrated", &IsCalibrated) &&
                       Bind(module, "SI_FeedPaperOut", &FeedPaperOut) && Bind(module, "SI_Feed", &Feed);
    if (!bound) {
        ClearFunctions();
        FreeLibrary(module);
        return false;
    }
    module_ = module;
    return true;
}

void ScannerLibrary::UnloadScannerLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    ClearFunctions();
}

void ScannerLibrary::ClearFunctions() {
    GetScannerStatus = nullptr;
    GetPaperStatus = nullptr;
    GetButtonStatus = nullptr;
    GetProperty = nullptr;
    SetProperty = nullptr;
    Reset = nullptr;
    Diagnostic = nullptr;
    GetLastErrorText = nullptr;
    GetLastError = nullptr;
    StartScan = nullptr;
    ReadImageData = nullptr;
    EndScan = nullptr;
    OpenInterface = nullptr;
    CloseInterface = nullptr;
    GetEvent = nullptr;
    Calibrate = nullptr;
    IsCalibrated = nullptr;
    FeedPaperOut = nullptr;
    Feed = nullptr;
}
