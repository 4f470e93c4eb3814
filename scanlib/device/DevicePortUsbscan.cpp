#include "device/DevicePortUsbscan.h"

#include <setupapi.h>
#include <usbscan.h>

#include <cstdio>
#include <cctype>
#include <cstring>
#include <functional>

#include "device/DeviceIOException.h"
#include "device/DevicePortFactories.h"
#include "os/OSFunctions.h"

namespace {

// An unnamed manual-reset event for one transfer, closed on every path.
class TransferEvent {
public:
    TransferEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~TransferEvent() {
        if (handle_) CloseHandle(handle_);
    }
    TransferEvent(const TransferEvent&) = delete;
    TransferEvent& operator=(const TransferEvent&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

[[noreturn]] void Fail(const char* message = "") {
    throw DeviceIOException(DeviceIOException::kTransferFailure, message);
}

// Issues one overlapped request and waits up to timeoutMs for it; returns the
// byte count. A request that times out is cancelled and its completion waited
// for, so nothing writes into the caller's buffer or OVERLAPPED afterwards.
DWORD Transfer(HANDLE file, DWORD timeoutMs, const std::function<BOOL(OVERLAPPED*)>& issue) {
    TransferEvent event;
    if (!event.Get()) Fail();
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD count = 0;
    if (!issue(&overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) Fail();
        const DWORD wait = WaitForSingleObject(event.Get(), timeoutMs);
        if (wait != WAIT_OBJECT_0) {
            CancelIoEx(file, &overlapped);
            GetOverlappedResult(file, &overlapped, &count, TRUE);
            Fail(wait == WAIT_TIMEOUT ? "Timeout." : "");
        }
    }
    if (!GetOverlappedResult(file, &overlapped, &count, FALSE)) Fail();
    ResetEvent(event.Get());
    return count;
}

// Whether text begins with prefix, ignoring ASCII case.
bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (!*text || std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

}  // namespace

DevicePortUsbscan::~DevicePortUsbscan() { Close(); }

bool DevicePortUsbscan::QueryDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcd) {
    DEVICE_DESCRIPTOR descriptor{};
    uint8_t request[8] = {};
    const DWORD count = Transfer(file_, kReadTimeoutMs, [&](OVERLAPPED* ov) {
        return DeviceIoControl(file_, IOCTL_GET_DEVICE_DESCRIPTOR, request, sizeof request, &descriptor,
                               sizeof descriptor, nullptr, ov);
    });
    if (count != sizeof descriptor) return false;
    *vid = descriptor.usVendorId;
    *pid = descriptor.usProductId;
    if (bcd) *bcd = descriptor.usBcdDevice;
    return true;
}

void DevicePortUsbscan::CloseFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

bool DevicePortUsbscan::Open(const std::vector<DeviceId>& ids, int* matchedIndex) {
    Close();
    if (matchedIndex) *matchedIndex = 0;
    bool matched = false;
    for (int n = 0; n <= kMaxDeviceNumber && !matched; ++n) {
        char path[32];
        std::snprintf(path, sizeof path, "\\\\.\\usbscan%d", n);
        file_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) continue;
        uint16_t vid = 0, pid = 0;
        bool answered = false;
        try {
            answered = QueryDescriptor(&vid, &pid, nullptr);
        } catch (const DeviceIOException&) {
            answered = false;
        }
        if (answered) {
            for (size_t row = 0; row < ids.size(); ++row) {
                if (ids[row].productId != pid || ids[row].vendorId != vid) continue;
                if (CreateDeviceLock(ids[row].productName)) {
                    vendorId_ = vid;
                    productId_ = pid;
                    if (matchedIndex) *matchedIndex = static_cast<int>(row);
                    matched = true;
                }
                break;
            }
        }
        if (!matched) CloseFile();
    }
    osKind_ = GetOSKind();
    return IsOpen();
}

void DevicePortUsbscan::Close() {
    CloseDeviceLock();
    CloseFile();
}

bool DevicePortUsbscan::IsOpen() { return file_ != INVALID_HANDLE_VALUE; }
uint16_t DevicePortUsbscan::GetVendorId() { return vendorId_; }
uint16_t DevicePortUsbscan::GetProductId() { return productId_; }

bool DevicePortUsbscan::Lock() { return AcquireDeviceLock(kLockTimeoutMs) == 0; }
bool DevicePortUsbscan::Unlock() { return ReleaseDeviceLock(); }

bool DevicePortUsbscan::ReadBulk(void* buf, int len) {
    if (!IsOpen()) return false;
    if (len < 0) Fail();
    const DWORD count = Transfer(file_, kReadTimeoutMs, [&](OVERLAPPED* ov) {
        return ReadFile(file_, buf, static_cast<DWORD>(len), nullptr, ov);
    });
    if (count != static_cast<DWORD>(len)) Fail();
    return true;
}

bool DevicePortUsbscan::WriteBulk(const void* buf, int len) {
    if (!IsOpen()) return false;
    if (len < 0) Fail();
    const DWORD count = Transfer(file_, kWriteTimeoutMs, [&](OVERLAPPED* ov) {
        return WriteFile(file_, buf, static_cast<DWORD>(len), nullptr, ov);
    });
    if (count != static_cast<DWORD>(len)) Fail();
    return true;
}

bool DevicePortUsbscan::ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) {
    if (!IsOpen()) return false;
    if (bytesRead) *bytesRead = 0;
    if (len < 0) Fail();
    IO_BLOCK block{};
    block.uOffset = static_cast<unsigned>(value);
    block.uLength = static_cast<unsigned>(len);
    block.pbyData = static_cast<PUCHAR>(buf);
    block.uIndex = static_cast<unsigned>(index);
    const DWORD count = Transfer(file_, kReadTimeoutMs, [&](OVERLAPPED* ov) {
        return DeviceIoControl(file_, IOCTL_READ_REGISTERS, &block, sizeof block, buf, static_cast<DWORD>(len),
                               nullptr, ov);
    });
    if (bytesRead) *bytesRead = count;
    if (count != static_cast<DWORD>(len)) Fail();
    return true;
}

bool DevicePortUsbscan::WriteRegisters(int value, int index, const void* buf, int len) {
    if (!IsOpen()) return false;
    if (len < 0) Fail();
    IO_BLOCK block{};
    block.uOffset = static_cast<unsigned>(value);
    block.uLength = static_cast<unsigned>(len);
    block.pbyData = static_cast<PUCHAR>(const_cast<void*>(buf));
    block.uIndex = static_cast<unsigned>(index);
    const DWORD count = Transfer(file_, kWriteTimeoutMs, [&](OVERLAPPED* ov) {
        return DeviceIoControl(file_, IOCTL_WRITE_REGISTERS, &block, sizeof block, nullptr, 0, nullptr, ov);
    });
    // Windows Server 2003's usbscan reports no count for register writes.
    if (osKind_ != 6 && count != static_cast<DWORD>(len)) Fail();
    return true;
}

bool DevicePortUsbscan::GetDeviceDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcdDevice) {
    if (!IsOpen()) return false;
    // Without the device lock the ids are not read: stale ids would decide
    // later whether a calibration file belongs to this device.
    if (!Lock()) return false;
    uint16_t v = 0, p = 0, b = 0;
    bool answered = false;
    try {
        answered = QueryDescriptor(&v, &p, &b);
    } catch (...) {
        Unlock();
        throw;
    }
    Unlock();
    if (!answered) return false;
    if (vid) *vid = v;
    if (pid) *pid = p;
    if (bcdDevice) *bcdDevice = b;
    return true;
}

bool DevicePortUsbscan::GetChannelInfo(int* eventSize, int* readAlignment, int* writeAlignment) {
    if (!IsOpen()) return false;
    uint32_t info[3] = {};
    Transfer(file_, kChannelInfoTimeoutMs, [&](OVERLAPPED* ov) {
        return DeviceIoControl(file_, IOCTL_GET_CHANNEL_ALIGN_RQST, nullptr, 0, info, sizeof info, nullptr, ov);
    });
    if (eventSize) *eventSize = static_cast<int>(info[0]);
    if (readAlignment) *readAlignment = static_cast<int>(info[1]);
    if (writeAlignment) *writeAlignment = static_cast<int>(info[2]);
    return true;
}

// Resets both bulk pipes, which drops a bulk header the chip still holds
// armed (one whose transfer failed or was never made). Nothing else is
// pending when the library asks for it.
bool DevicePortUsbscan::ResetPipes() {
    if (!IsOpen()) return false;
    DWORD pipe = ALL_PIPE;
    Transfer(file_, kWriteTimeoutMs, [&](OVERLAPPED* ov) {
        return DeviceIoControl(file_, IOCTL_RESET_PIPE, &pipe, sizeof pipe, nullptr, 0, nullptr, ov);
    });
    return true;
}

bool DevicePortUsbscan::IsDevicePresent(const char* name) {
    if (!name) return false;
    GUID guid{};
    DWORD required = 0;
    if (!SetupDiClassGuidsFromNameA("Image", &guid, 1, &required) || required == 0) return false;
    char className[64];
    if (!SetupDiClassNameFromGuidA(&guid, className, sizeof className, nullptr)) return false;
    HKEY classKey = SetupDiOpenClassRegKeyExA(&guid, KEY_READ, DIOCR_INSTALLER, nullptr, nullptr);
    if (classKey == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return false;
    RegCloseKey(classKey);
    HDEVINFO devices = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(devices, i, &data); ++i) {
        char text[1000];
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &data, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<PBYTE>(text), sizeof text, nullptr) &&
            !SetupDiGetDeviceRegistryPropertyA(devices, &data, SPDRP_DEVICEDESC, nullptr,
                                               reinterpret_cast<PBYTE>(text), sizeof text, nullptr)) {
            continue;
        }
        text[sizeof text - 1] = '\0';
        found = StartsWithNoCase(text, name);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return found;
}

bool DevicePortUsbscan::OpenPath(const std::string& path) {
    Close();
    if (!CreateNamedDeviceLock("VARNIX_MUTEX")) return false;
    if (!path.empty()) {
        file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            try {
                uint16_t vid = 0, pid = 0;
                if (QueryDescriptor(&vid, &pid, nullptr)) {
                    vendorId_ = vid;
                    productId_ = pid;
                }
            } catch (const DeviceIOException&) {
                CloseFile();
            }
        }
    }
    return IsOpen();
}

std::unique_ptr<DevicePort> CreateDevicePortUsbscan() { return std::make_unique<DevicePortUsbscan>(); }
