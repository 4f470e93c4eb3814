// What the scanners' installation file says: the models it installs by
// hardware id, the files it copies, the records it enters for a device and
// the co-installer it names.
#pragma once

#include <array>
#include <cstdint>

namespace setuphost {

struct ScannerModel {
    uint16_t vendorId;
    uint16_t productId;
    const char* model;
};

inline constexpr std::array<ScannerModel, 5> kModels{{
    {0x17C4, 0x00F0, "RM310"},
    {0x17C4, 0x00F2, "RM310"},
    {0x17C4, 0x00F1, "RM410"},
    {0x17C4, 0x4811, "RM460"},
    {0x1F63, 0x4800, "RM1100"},
}};

inline constexpr const char* kManufacturer = "Tessaline Corp.";
inline constexpr const char* kLibraryModule = "Pelidor.dll";
inline constexpr const char* kDriverModule = "PelidorW.dll";
inline constexpr const char* kDriverClass = "{4161996E-4020-4EEA-8C0B-AE438253EF01}";
inline constexpr const char* kCoInstaller = "Devprep.dll,CoDeviceInstall";

// Copied into the system folder when present beside the setup host.
inline constexpr std::array<const char*, 3> kDriverFiles{{"Pelidor.dll", "PelidorW.dll", "Devprep.dll"}};

struct DeviceEvent {
    const char* name;
    const char* description;
    const char* guid;
};
inline constexpr std::array<DeviceEvent, 2> kEvents{{
    {"ScanButton", "Scan button pressed", "{A6C5A715-8C6E-11D2-977A-0000F87A926F}"},
    {"PaperIn", "Paper inserted", "{5B3A1C2E-7D44-4E1F-9A60-2C8B1D7E4F31}"},
}};

}  // namespace setuphost
