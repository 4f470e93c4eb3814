// What the scanner's installation file enters for a virtual scanner served
// as \\.\usbscanN: the image device, its Still Image record, the driver's
// class registration, "DeviceData" and the "Events" subkeys. Used by the
// emulator command and by tests that serve a scanner themselves.
#pragma once

#include <emulator/VirtualScanner.h>
#include <platform/testing_io.h>

#include <cstdio>
#include <string>

namespace emulator {

inline constexpr char kDriverClass[] = "{4161996E-4020-4EEA-8C0B-AE438253EF01}";
inline constexpr char kDriverModule[] = "PelidorW.dll";
inline constexpr char kLibraryModule[] = "Pelidor.dll";
inline constexpr char kVendorDescription[] = "Tessaline Corp.";
inline constexpr char kScanButtonEvent[] = "{A6C5A715-8C6E-11D2-977A-0000F87A926F}";
inline constexpr char kPaperInEvent[] = "{5B3A1C2E-7D44-4E1F-9A60-2C8B1D7E4F31}";

// The model a board carries: its name before the first '-'.
inline std::string ModelOfBoard(const std::string& board) { return board.substr(0, board.find('-')); }

inline platform::testing::StillImageInstall ImageDeviceEntry(const std::string& board, unsigned device,
                                                             const VirtualScanner& scanner) {
    const auto eeprom = scanner.Eeprom();
    char id[32];
    std::snprintf(id, sizeof id, "VID_%04X&PID_%04X", static_cast<unsigned>(eeprom[0]),
                  static_cast<unsigned>(eeprom[1]));
    char instance[16];
    std::snprintf(instance, sizeof instance, "%04u", device);
    char port[32];
    std::snprintf(port, sizeof port, "\\\\.\\usbscan%u", device);
    const std::string model = ModelOfBoard(board);

    platform::testing::StillImageInstall install;
    install.device.deviceId = id;
    install.device.instanceId = instance;
    install.device.description = board + " scanner";
    install.device.friendlyName = model + " Document Scanner";
    install.device.hardwareId = std::string("USB\\") + id;
    install.vendorDescription = kVendorDescription;
    install.deviceDescription = model;
    install.portName = port;
    install.usdClass = kDriverClass;
    install.driverModule = kDriverModule;
    install.dllName = kLibraryModule;
    install.events = {{"ScanButton", "Scan button pressed", kScanButtonEvent},
                      {"PaperIn", "Paper inserted", kPaperInEvent}};
    return install;
}

}  // namespace emulator
