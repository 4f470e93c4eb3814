#include "WiaFixture.h"

#include "sti/StillImageDevices.h"

#include <emulator/ImageDeviceEntry.h>
#include <platform/testing.h>
#include <platform/testing_io.h>

#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <chrono>
#include <fstream>
#include <thread>

namespace wiadevice {

std::filesystem::path WriteSheet(const std::string& name, const SheetOptions& options) {
    const auto path = std::filesystem::path(platform::testing::Root()) / name;
    const int width = static_cast<int>(options.widthInches * 600);
    const int height = static_cast<int>(options.lengthInches * 600);
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << width << " " << height << "\n255\n";
    std::vector<uint8_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Dark bars 30 pixels wide every 150, on white.
            row[static_cast<size_t>(x)] = (x % 300) < 60 || (y % 600) < 40 ? 20 : 235;
        }
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
    return path;
}

bool ReadBitmap(const std::string& path, Bitmap* bitmap) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    if (u32(14) != 40) return false;
    bitmap->bytes = bytes.size();
    bitmap->fileSize = u32(2);
    bitmap->dataOffset = u32(10);
    bitmap->width = static_cast<int32_t>(u32(18));
    bitmap->height = static_cast<int32_t>(u32(22));
    bitmap->depth = static_cast<uint16_t>(bytes[28] | bytes[29] << 8);
    bitmap->imageSize = u32(34);
    if (bitmap->dataOffset > bytes.size()) return false;
    bitmap->data.assign(bytes.begin() + bitmap->dataOffset, bytes.end());
    return true;
}

void WiaDeviceTest::Open(const char* board, DWORD windowsMajor, DWORD windowsMinor,
                         const emulator::SwitchOverrides& switches) {
    platform::testing::SetWindowsVersion(windowsMajor, windowsMinor);
    scanner_ = std::make_unique<emulator::VirtualScanner>(board, switches);
    scanner_->Serve(platform::testing::Root(), 0);
    ASSERT_FALSE(platform::testing::InstallStillImageDevice(emulator::ImageDeviceEntry(board, 0, *scanner_)).empty());
    const auto devices = platform::sti::InstalledDevices();
    ASSERT_EQ(devices.size(), 1u);
    driverKeyPath_ = devices[0].driverKeyPath;

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CLSID clsid{};
    const std::wstring text = platform::sti::Widen(emulator::kDriverClass);
    ASSERT_EQ(CLSIDFromString(text.c_str(), &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IStiUSD, reinterpret_cast<void**>(&driver_)),
              S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, driverKeyPath_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    auto* control = new TestDeviceControl(L"\\\\.\\usbscan0", STI_DEVICE_CREATE_FOR_MONITOR | STI_DEVICE_CREATE_DATA);
    const HRESULT initialized = driver_->Initialize(control, STI_VERSION, key);
    control->Release();
    RegCloseKey(key);
    ASSERT_EQ(initialized, S_OK);
    service_ = std::make_unique<platform::wia::DeviceService>(driver_, devices[0].internalName);
    ASSERT_EQ(service_->Initialize(), S_OK);
}

void WiaDeviceTest::SetDeviceValue(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (driverKeyPath_ + "\\DeviceData").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

void WiaDeviceTest::SetDeviceText(const char* name, const char* value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (driverKeyPath_ + "\\DeviceData").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(key);
}

void WiaDeviceTest::CloseDriver() {
    service_.reset();
    if (driver_) driver_->Release();
    driver_ = nullptr;
}

std::string WiaDeviceTest::Prefix(const char* name) const {
    return (std::filesystem::path(platform::testing::Root()) / name).string();
}

void WiaDeviceTest::TearDown() {
    CloseDriver();
    if (scanner_) {
        for (const auto& v : scanner_->Violations()) ADD_FAILURE() << "violation " << v.rule << ": " << v.text;
        scanner_->StopServing();
    }
    platform::wia::TakeServiceEvents();
    CoUninitialize();
}

}  // namespace wiadevice
