// DevicePort on the usbscan device files "\\.\usbscanN": overlapped file I/O
// and device I/O controls, each with a time-out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/DevicePort.h"

class DevicePortUsbscan : public DevicePort {
public:
    DevicePortUsbscan() = default;
    ~DevicePortUsbscan() override;

    bool Open(const std::vector<DeviceId>& ids, int* matchedIndex) override;
    void Close() override;
    bool IsOpen() override;
    uint16_t GetVendorId() override;
    uint16_t GetProductId() override;
    bool Lock() override;
    bool Unlock() override;
    bool ReadBulk(void* buf, int len) override;
    bool WriteBulk(const void* buf, int len) override;
    bool ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) override;
    bool WriteRegisters(int value, int index, const void* buf, int len) override;
    bool GetDeviceDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcdDevice) override;
    bool GetChannelInfo(int* eventSize, int* readAlignment, int* writeAlignment) override;
    bool ResetPipes() override;
    bool IsDevicePresent(const char* name) override;
    virtual bool OpenPath(const std::string& path);

    static constexpr DWORD kReadTimeoutMs = 3500;
    static constexpr DWORD kWriteTimeoutMs = 3500;
    static constexpr int kLockTimeoutMs = 1000;
    static constexpr DWORD kChannelInfoTimeoutMs = 3500;
    static constexpr int kMaxDeviceNumber = 126;

private:
    // Queries the descriptor of the open file: vendor, product, bcdDevice.
    bool QueryDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcd);
    void CloseFile();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint16_t vendorId_ = 0;
    uint16_t productId_ = 0;
    int osKind_ = 0;
};
