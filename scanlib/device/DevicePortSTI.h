// DevicePort through the Still Image service: the scanner is found in the
// service's device list by its vendor and device descriptions, opened for
// data, and driven with raw data and raw commands that the service hands to
// the device's driver.
#pragma once

#include "device/DevicePort.h"

#include <sti.h>
#include <windows.h>

#include <string>
#include <vector>

class DevicePortSTI : public DevicePort {
public:
    DevicePortSTI() = default;
    ~DevicePortSTI() override;

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
    bool GetDeviceValue(const std::string& name, int* value) override;
    bool SetDeviceValue(const std::string& name, int value) override;

    static constexpr DWORD kLockTimeoutMs = 2500;
    static constexpr int kDeviceLockTimeoutMs = 2500;

private:
    IStiDevice* device_ = nullptr;
    std::wstring internalName_;
};

// Narrow and wide text in the ANSI code page.
std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);

// A Still Image service instance and the internal name of one device.
class StiDeviceValueHolder {
public:
    StiDeviceValueHolder() = default;
    ~StiDeviceValueHolder();
    StiDeviceValueHolder(const StiDeviceValueHolder&) = delete;
    StiDeviceValueHolder& operator=(const StiDeviceValueHolder&) = delete;

    IStillImage* stillImage = nullptr;
    std::wstring internalName;
};

// The first listed device whose device description is `description`
// (compared without regard to case).
bool FindStiDevice(StiDeviceValueHolder& holder, const std::string& description);
bool GetStiDeviceValue(const std::string& description, const std::string& valueName, int* value);
bool SetStiDeviceValue(const std::string& description, const std::string& valueName, int value);
