// The transport the controller drivers and the scanner models talk through:
// bulk data, vendor register requests, the device descriptor, pipe reset, a
// cross-process device lock and the device's stored values.
#pragma once

#include "device/DeviceId.h"
#include "os/OSMutex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DevicePort {
public:
    DevicePort() = default;
    virtual ~DevicePort() = default;
    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    // True when a device matching one of ids is open; *matchedIndex is the
    // matching row (0 when none).
    virtual bool Open(const std::vector<DeviceId>& ids, int* matchedIndex) = 0;
    // Releases the device and the device lock.
    virtual void Close() = 0;
    virtual bool IsOpen() = 0;
    virtual uint16_t GetVendorId() = 0;
    virtual uint16_t GetProductId() = 0;
    virtual bool Lock() = 0;
    virtual bool Unlock() = 0;
    // Transfers throw DeviceIOException on a transport failure; on a port
    // that is not open they return false.
    virtual bool ReadBulk(void* buf, int len) = 0;
    virtual bool WriteBulk(const void* buf, int len) = 0;
    virtual bool ReadRegisters(int value, int index, void* buf, int len, unsigned* bytesRead) = 0;
    virtual bool WriteRegisters(int value, int index, const void* buf, int len) = 0;
    virtual bool GetDeviceDescriptor(uint16_t* vid, uint16_t* pid, uint16_t* bcdDevice) = 0;
    virtual bool GetChannelInfo(int* eventSize, int* readAlignment, int* writeAlignment) = 0;
    virtual bool ResetPipes() = 0;
    virtual bool GetDeviceValue(const std::string& name, int* value);
    virtual bool SetDeviceValue(const std::string& name, int value);
    virtual bool IsDevicePresent(const char* name);

protected:
    // The device lock's name for a product: its narrow name + "_Lock".
    static std::string DeviceLockName(const std::wstring& productName);
    // Creates the global device lock named after the product.
    bool CreateDeviceLock(const std::wstring& productName);
    // Creates the global device lock under a fixed name.
    bool CreateNamedDeviceLock(const std::string& name);
    // Waits for the device lock; a hold is counted when the wait gives 0.
    int AcquireDeviceLock(int ms);
    // Releases one hold this port counted; false when it holds none, so a
    // retried unlock never releases the mutex twice.
    bool ReleaseDeviceLock();
    // Releases every hold still counted and closes the lock (for Close).
    void CloseDeviceLock();
    int DeviceLockHolds() const { return lockHolds_; }

private:
    OSMutex deviceLock_;
    int lockHolds_ = 0;
};

// The road a port takes to the scanner. Any other value asks for no port.
enum class PortKind : int {
    None = -1,
    StillImage = 0,  // through the Still Image service and the minidriver
    Usbscan = 1,     // straight to the usbscan device file
};

// The 32-bit build inside a 32-bit process on 64-bit Windows makes the
// usbscan port for every kind.
std::unique_ptr<DevicePort> CreateDevicePort(PortKind kind);

// The kind CreateDevicePort makes for a requested kind.
PortKind EffectiveDevicePortKind(PortKind kind);
