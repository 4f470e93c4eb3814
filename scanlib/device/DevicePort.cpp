#include "device/DevicePort.h"

#include "device/DevicePortFactories.h"
#include "os/OSWait.h"

#include <windows.h>

namespace {

using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);

// A 32-bit process on 64-bit Windows; IsWow64Process is looked up at run
// time, and its absence means no.
bool IsWow64() {
    HMODULE kernel = LoadLibraryA("kernel32");
    if (!kernel) return false;
    auto isWow64 = reinterpret_cast<IsWow64Function>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    const bool result = isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
    FreeLibrary(kernel);
    return result;
}

}  // namespace

bool DevicePort::GetDeviceValue(const std::string&, int*) { return false; }
bool DevicePort::SetDeviceValue(const std::string&, int) { return false; }
bool DevicePort::IsDevicePresent(const char*) { return true; }

std::string DevicePort::DeviceLockName(const std::wstring& productName) {
    std::string narrow;
    if (!productName.empty()) {
        const int size = WideCharToMultiByte(CP_ACP, 0, productName.c_str(), static_cast<int>(productName.size()),
                                             nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            narrow.resize(static_cast<size_t>(size));
            WideCharToMultiByte(CP_ACP, 0, productName.c_str(), static_cast<int>(productName.size()), narrow.data(),
                                size, nullptr, nullptr);
        }
    }
    return narrow + "_Lock";
}

bool DevicePort::CreateDeviceLock(const std::wstring& productName) {
    return deviceLock_.Create(DeviceLockName(productName).c_str(), true);
}

bool DevicePort::CreateNamedDeviceLock(const std::string& name) { return deviceLock_.Create(name.c_str(), true); }

int DevicePort::AcquireDeviceLock(int ms) {
    const int result = deviceLock_.Wait(ms);
    if (result == kWaitAcquired) ++lockHolds_;
    return result;
}

bool DevicePort::ReleaseDeviceLock() {
    if (lockHolds_ == 0 || !deviceLock_.Release()) return false;
    --lockHolds_;
    return true;
}

void DevicePort::CloseDeviceLock() {
    while (lockHolds_ > 0 && ReleaseDeviceLock()) {
    }
    lockHolds_ = 0;
    deviceLock_.Close();
}

PortKind EffectiveDevicePortKind(PortKind kind) {
    constexpr bool k32BitProcess = sizeof(void*) == 4;
    if (k32BitProcess && IsWow64()) return PortKind::Usbscan;
    if (kind == PortKind::StillImage || kind == PortKind::Usbscan) return kind;
    return PortKind::None;
}

std::unique_ptr<DevicePort> CreateDevicePort(PortKind kind) {
    switch (EffectiveDevicePortKind(kind)) {
        case PortKind::StillImage: return CreateDevicePortSTI();
        case PortKind::Usbscan: return CreateDevicePortUsbscan();
        case PortKind::None: break;
    }
    return nullptr;
}
