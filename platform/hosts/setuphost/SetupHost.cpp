// setuphost: installs a scanner served by a virtual scanner as Windows setup
// would from the scanners' installation file, and reports the result.
//
//   setuphost [--port \\.\usbscanN] [--coinstaller FILE,ENTRY]...
//             [--no-coinstallers] [--fail-install ERROR]
//
// It reads the device's USB ids from its port, finds the model in the
// installation file, enters the device instance, copies the driver files
// into the system folder, registers the co-installers and runs the install
// functions. Each co-installer's CoDeviceInstall is called before every
// install function that follows its registration, and once more after it
// when it asked for that (ERROR_DI_POSTPROCESSING_REQUIRED) with the
// function's result in the context record; what it returns then becomes
// the result. DIF_INSTALLDEVICE enters the device's records (driver key,
// "DeviceData", "Events", the Still Image record and the driver's class
// registration); --fail-install makes that step fail with ERROR instead.
// Setup runs as the system service in session 0. Exit status 0 when the
// installation succeeded, 1 when it failed, 2 for a device it cannot install.
#include "ScannerInstallation.h"

#include <platform/testing.h>
#include <setupapi.h>
#include <usbscan.h>
#include <windows.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace setuphost {
namespace {

const GUID kImageClass{0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

using CoInstallerEntry = DWORD(CALLBACK*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

struct CoInstaller {
    std::string name;  // "FILE,ENTRY"
    HMODULE module = nullptr;
    CoInstallerEntry entry = nullptr;
};

struct Options {
    std::string port = "\\\\.\\usbscan0";
    std::vector<std::string> coInstallers{kCoInstaller};
    std::optional<DWORD> failInstall;
};

const char* FunctionName(DI_FUNCTION function) {
    switch (function) {
        case DIF_INSTALLDEVICEFILES:
            return "DIF_INSTALLDEVICEFILES";
        case DIF_REGISTER_COINSTALLERS:
            return "DIF_REGISTER_COINSTALLERS";
        case DIF_INSTALLINTERFACES:
            return "DIF_INSTALLINTERFACES";
        case DIF_INSTALLDEVICE:
            return "DIF_INSTALLDEVICE";
        case DIF_NEWDEVICEWIZARD_FINISHINSTALL:
            return "DIF_NEWDEVICEWIZARD_FINISHINSTALL";
        default:
            return "DIF_?";
    }
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) {
            options.port = argv[++i];
        } else if (arg == "--coinstaller" && hasValue) {
            if (options.coInstallers.size() == 1 && options.coInstallers[0] == kCoInstaller)
                options.coInstallers.clear();
            options.coInstallers.push_back(argv[++i]);
        } else if (arg == "--no-coinstallers") {
            options.coInstallers.clear();
        } else if (arg == "--fail-install" && hasValue) {
            options.failInstall = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 0));
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// The USB ids of the device at `port`.
std::optional<DEVICE_DESCRIPTOR> ReadDescriptor(const std::string& port) {
    HANDLE device = CreateFileA(port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return std::nullopt;
    DEVICE_DESCRIPTOR descriptor{};
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device, IOCTL_GET_DEVICE_DESCRIPTOR, &descriptor, sizeof descriptor, &descriptor,
                                    sizeof descriptor, &returned, nullptr);
    CloseHandle(device);
    if (!ok || returned < sizeof descriptor) return std::nullopt;
    return descriptor;
}

const ScannerModel* FindModel(const DEVICE_DESCRIPTOR& descriptor) {
    for (const auto& model : kModels)
        if (model.vendorId == descriptor.usVendorId && model.productId == descriptor.usProductId) return &model;
    return nullptr;
}

// The number N of "\\.\usbscanN".
unsigned PortNumber(const std::string& port) {
    size_t digits = port.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(port[digits - 1]))) --digits;
    return digits < port.size() ? static_cast<unsigned>(std::strtoul(port.c_str() + digits, nullptr, 10)) : 0;
}

std::string InstanceValue(const std::string& instancePath, const char* name) {
    HKEY instance = nullptr;
    const std::string path = "SYSTEM\\CurrentControlSet\\Enum\\" + instancePath;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &instance) != ERROR_SUCCESS) return {};
    char value[256] = {};
    DWORD size = sizeof value - 1;
    const LONG read = RegQueryValueExA(instance, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(instance);
    return read == ERROR_SUCCESS ? std::string(value) : std::string();
}

std::string HostFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

// DIF_INSTALLDEVICEFILES: the driver files beside the setup host go into
// the system folder.
DWORD CopyDriverFiles() {
    char system[MAX_PATH] = {};
    if (GetSystemDirectoryA(system, sizeof system) == 0) return GetLastError();
    for (const char* file : kDriverFiles) {
        std::ifstream in(HostFolder() + "/" + file, std::ios::binary);
        if (!in) continue;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string target = std::string(system) + "\\" + file;
        HANDLE out =
            CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) return GetLastError();
        DWORD written = 0;
        const BOOL ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(out);
        if (!ok || written != bytes.size()) return ok ? ERROR_GEN_FAILURE : GetLastError();
        std::printf("copied %s to %s\n", file, target.c_str());
    }
    return NO_ERROR;
}

// DIF_REGISTER_COINSTALLERS: "CoInstallers32" on the driver key, then each
// co-installer loaded.
DWORD RegisterCoInstallers(HDEVINFO set, SP_DEVINFO_DATA* data, const Options& options,
                           std::vector<CoInstaller>& loaded) {
    HKEY driver = SetupDiOpenDevRegKey(set, data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
    if (driver == INVALID_HANDLE_VALUE) return GetLastError();
    std::string multi;
    for (const auto& name : options.coInstallers) multi += name + '\0';
    multi += '\0';
    const LONG written = RegSetValueExA(driver, "CoInstallers32", 0, REG_MULTI_SZ,
                                        reinterpret_cast<const BYTE*>(multi.data()), static_cast<DWORD>(multi.size()));
    RegCloseKey(driver);
    if (written != ERROR_SUCCESS) return static_cast<DWORD>(written);
    for (const auto& name : options.coInstallers) {
        const auto comma = name.find(',');
        const std::string file = name.substr(0, comma);
        const std::string entryName = comma == std::string::npos ? "CoDeviceInstall" : name.substr(comma + 1);
        CoInstaller co{name};
        co.module = LoadLibraryA(file.c_str());
        if (co.module != nullptr)
            co.entry = reinterpret_cast<CoInstallerEntry>(
                reinterpret_cast<void*>(GetProcAddress(co.module, entryName.c_str())));
        if (co.entry == nullptr) {
            std::fprintf(stderr, "setuphost: co-installer %s cannot be loaded (error %u)\n", name.c_str(),
                         GetLastError());
            if (co.module != nullptr) FreeLibrary(co.module);
            continue;
        }
        loaded.push_back(co);
    }
    return NO_ERROR;
}

// What the installation file enters for `model` at `port`.
platform::testing::StillImageInstall StillImageEntry(const platform::testing::DeviceInstall& device,
                                                     const ScannerModel& model, const std::string& port) {
    platform::testing::StillImageInstall install;
    install.device = device;
    install.vendorDescription = kManufacturer;
    install.deviceDescription = model.model;
    install.portName = port;
    install.usdClass = kDriverClass;
    install.driverModule = kDriverModule;
    install.dllName = kLibraryModule;
    for (const auto& event : kEvents) install.events.push_back({event.name, event.description, event.guid});
    return install;
}

DWORD CallCoInstaller(const CoInstaller& co, DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data,
                      COINSTALLER_CONTEXT_DATA& context) {
    const DWORD answer = co.entry(function, set, data, &context);
    std::printf("%s %s %s: 0x%08X\n", co.name.c_str(), FunctionName(function),
                context.PostProcessing ? "after" : "before", answer);
    return answer;
}

// One install function: co-installers before, the default action, then
// those that asked to be called after, in reverse order.
DWORD RunFunction(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data, const std::vector<CoInstaller>& cos,
                  const std::function<DWORD()>& action) {
    std::vector<std::pair<const CoInstaller*, PVOID>> after;
    DWORD result = NO_ERROR;
    for (const auto& co : cos) {
        COINSTALLER_CONTEXT_DATA context{FALSE, NO_ERROR, nullptr};
        const DWORD answer = CallCoInstaller(co, function, set, data, context);
        if (answer == ERROR_DI_POSTPROCESSING_REQUIRED) {
            after.emplace_back(&co, context.PrivateData);
        } else if (answer != NO_ERROR) {
            result = answer;
            break;
        }
    }
    if (result == NO_ERROR) result = action();
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
        COINSTALLER_CONTEXT_DATA context{TRUE, result, it->second};
        result = CallCoInstaller(*it->first, function, set, data, context);
    }
    return result;
}

int Install(const Options& options) {
    const auto descriptor = ReadDescriptor(options.port);
    if (!descriptor) {
        std::fprintf(stderr, "setuphost: no device at %s\n", options.port.c_str());
        return 2;
    }
    const ScannerModel* model = FindModel(*descriptor);
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", descriptor->usVendorId, descriptor->usProductId);
    if (model == nullptr) {
        std::fprintf(stderr, "setuphost: the installation file has no model for USB\\%s\n", ids);
        return 2;
    }
    char instance[16];
    std::snprintf(instance, sizeof instance, "%04u", PortNumber(options.port));
    platform::testing::DeviceInstall device;
    device.deviceId = ids;
    device.instanceId = instance;
    device.description = std::string(model->model) + " scanner";
    device.friendlyName = std::string(model->model) + " Document Scanner";
    device.manufacturer = kManufacturer;
    device.hardwareId = std::string("USB\\") + ids;
    const std::string instancePath = platform::testing::InstallDevice(device);
    if (instancePath.empty()) {
        std::fprintf(stderr, "setuphost: the device instance cannot be entered\n");
        return 2;
    }
    std::printf("installing %s (%s) at %s\n", model->model, instancePath.c_str(), options.port.c_str());

    HDEVINFO set = SetupDiGetClassDevsA(&kImageClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return 2;
    const std::string driverName = InstanceValue(instancePath, "Driver");
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    bool found = false;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char driver[256] = {};
        found = SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(driver),
                                                  sizeof driver, nullptr) &&
                driverName == driver;
    }
    if (!found) {
        SetupDiDestroyDeviceInfoList(set);
        return 2;
    }

    std::vector<CoInstaller> cos;
    DWORD result = RunFunction(DIF_INSTALLDEVICEFILES, set, &data, cos, CopyDriverFiles);
    if (result == NO_ERROR)
        result = RunFunction(DIF_REGISTER_COINSTALLERS, set, &data, cos,
                             [&] { return RegisterCoInstallers(set, &data, options, cos); });
    if (result == NO_ERROR) result = RunFunction(DIF_INSTALLINTERFACES, set, &data, cos, [] { return NO_ERROR; });
    if (result == NO_ERROR)
        result = RunFunction(DIF_INSTALLDEVICE, set, &data, cos, [&]() -> DWORD {
            if (options.failInstall) return *options.failInstall;
            return platform::testing::WriteStillImageRecords(instancePath, StillImageEntry(device, *model, options.port))
                       ? NO_ERROR
                       : ERROR_GEN_FAILURE;
        });
    if (result == NO_ERROR)
        result = RunFunction(DIF_NEWDEVICEWIZARD_FINISHINSTALL, set, &data, cos, [] { return NO_ERROR; });

    for (const auto& co : cos) FreeLibrary(co.module);
    SetupDiDestroyDeviceInfoList(set);
    std::printf("install result: 0x%08X\n", result);
    return result == NO_ERROR ? 0 : 1;
}

}  // namespace
}  // namespace setuphost

int main(int argc, char** argv) {
    const auto options = setuphost::ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: setuphost [--port \\\\.\\usbscanN] [--coinstaller FILE,ENTRY]... [--no-coinstallers] "
                     "[--fail-install ERROR]\n");
        return 2;
    }
    // Setup is a system service: session 0, the local system account.
    platform::testing::SetSession(0);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return setuphost::Install(*options);
}
