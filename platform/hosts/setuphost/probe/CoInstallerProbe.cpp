// A co-installer that notes every call in the file COINSTALLER_PROBE_OUT
// names: "<function> <before|after> <install result> <DLLName>", asks to be
// called after DIF_INSTALLDEVICE and passes every result on.
#include <setupapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* DllName(HDEVINFO set, PSP_DEVINFO_DATA data, char* buffer, DWORD size) {
    HKEY driver = SetupDiOpenDevRegKey(set, data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    if (driver == INVALID_HANDLE_VALUE) return "-";
    HKEY deviceData = nullptr;
    const char* result = "-";
    if (RegOpenKeyA(driver, "DeviceData", &deviceData) == ERROR_SUCCESS) {
        DWORD read = size - 1;
        if (RegQueryValueExA(deviceData, "DLLName", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &read) ==
            ERROR_SUCCESS) {
            buffer[read] = '\0';
            result = buffer;
        }
        RegCloseKey(deviceData);
    }
    RegCloseKey(driver);
    return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) DWORD CALLBACK ProbeInstall(DI_FUNCTION function, HDEVINFO set,
                                                                              PSP_DEVINFO_DATA data,
                                                                              PCOINSTALLER_CONTEXT_DATA context) {
    if (const char* out = std::getenv("COINSTALLER_PROBE_OUT")) {
        if (FILE* file = std::fopen(out, "a")) {
            char name[MAX_PATH] = {};
            std::fprintf(file, "%u %s 0x%08X %s\n", function, context->PostProcessing ? "after" : "before",
                         context->InstallResult, DllName(set, data, name, sizeof name));
            std::fclose(file);
        }
    }
    if (!context->PostProcessing) return function == DIF_INSTALLDEVICE ? ERROR_DI_POSTPROCESSING_REQUIRED : NO_ERROR;
    return context->InstallResult;
}
