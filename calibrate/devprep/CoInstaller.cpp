#include "CoInstaller.h"

#include "CalibrateCommandLine.h"
#include "CalibratorImage.h"
#include "DeviceRegistry.h"
#include "UserServices.h"

bool ReadDeviceDllName(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, std::string& name) {
    DeviceRegistry registry;
    if (registry.OpenDeviceKey(deviceInfoSet, deviceInfoData) != 0) return false;
    if (registry.OpenSubKey("DeviceData") != 0) return false;
    return registry.QueryString("DLLName", name) == 0;
}

bool ExtractCalibrator(HMODULE module, TemporaryProgram& program) {
    const std::span<const BYTE> image = CalibratorImage(module);
    return !image.empty() && program.Create(image);
}

bool RunCommandAsUser(const std::string& commandLine) {
    UserServices services;  // waits for the program without a limit
    // A failed Init leaves operations that fail; the direct start follows.
    services.Create();
    bool started = services.RunProgram(commandLine, true);
    if (!started) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string line = commandLine;
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, "C:\\", &startup, &process)) {
            WaitForSingleObject(process.hProcess, INFINITE);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            started = true;
        }
    }
    services.Destroy();
    return started;
}

bool UserSessionExists() {
    UserServices services;
    services.Create();
    if (services.HasUserToken()) return true;
    // Services without their entry points cannot tell; the console session
    // can, where the system has one.
    using ConsoleSessionFn = decltype(&WTSGetActiveConsoleSessionId);
    HMODULE kernel32 = GetModuleHandleA("Kernel32.dll");
    auto console = kernel32 != nullptr ? reinterpret_cast<ConsoleSessionFn>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel32, "WTSGetActiveConsoleSessionId")))
                                       : nullptr;
    return console != nullptr && console() != 0xFFFFFFFFu;
}

std::string CalibratorCommandLine(const std::string& programPath, const std::string& arguments) {
    return "\"" + programPath + "\" " + arguments;
}

void RunCalibratorAfterInstall(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, std::span<const BYTE> image) {
    std::string library;
    if (!ReadDeviceDllName(deviceInfoSet, deviceInfoData, library)) return;
    if (!UserSessionExists()) return;
    TemporaryProgram program;
    if (image.empty() || !program.Create(image)) return;
    program.Hold();
    RunCommandAsUser(CalibratorCommandLine(program.Path(), library));
}

void RunCalibratorAfterInstall(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, HMODULE module) {
    RunCalibratorAfterInstall(deviceInfoSet, deviceInfoData, CalibratorImage(module));
}

bool RunCalibratorOnDemand(const char* commandLine, std::span<const BYTE> image) {
    if (commandLine == nullptr) return false;
    const auto arguments = ParseCalibrateCommandLine(commandLine);
    if (!arguments) return false;
    TemporaryProgram program;
    if (image.empty() || !program.Create(image)) return false;
    program.Hold();
    std::string line = arguments->library;
    if (arguments->model) line += " " + *arguments->model;
    return RunCommandAsUser(CalibratorCommandLine(program.Path(), line));
}

bool RunCalibratorOnDemand(const char* commandLine, HMODULE module) {
    return RunCalibratorOnDemand(commandLine, CalibratorImage(module));
}
