// A device port for tests: gmock for the transport, the real device-lock
// bookkeeping of the base class underneath.
#pragma once

#include "device/DeviceIOException.h"
#include "device/DevicePort.h"

#include <gmock/gmock.h>

class MockDevicePort : public DevicePort {
public:
    MOCK_METHOD(bool, Open, (const std::vector<DeviceId>& ids, int* matchedIndex), (override));
    MOCK_METHOD(void, Close, (), (override));
    MOCK_METHOD(bool, IsOpen, (), (override));
    MOCK_METHOD(uint16_t, GetVendorId, (), (override));
    MOCK_METHOD(uint16_t, GetProductId, (), (override));
    MOCK_METHOD(bool, Lock, (), (override));
    MOCK_METHOD(bool, Unlock, (), (override));
    MOCK_METHOD(bool, ReadBulk, (void* buf, int len), (override));
    MOCK_METHOD(bool, WriteBulk, (const void* buf, int len), (override));
    MOCK_METHOD(bool, ReadRegisters, (int value, int index, void* buf, int len, unsigned* bytesRead), (override));
    MOCK_METHOD(bool, WriteRegisters, (int value, int index, const void* buf, int len), (override));
    MOCK_METHOD(bool, GetDeviceDescriptor, (uint16_t* vid, uint16_t* pid, uint16_t* bcdDevice), (override));
    MOCK_METHOD(bool, GetChannelInfo, (int* eventSize, int* readAlignment, int* writeAlignment), (override));
    MOCK_METHOD(bool, ResetPipes, (), (override));

    // The base class's device-lock helpers, opened up for tests.
    using DevicePort::AcquireDeviceLock;
    using DevicePort::CloseDeviceLock;
    using DevicePort::CreateDeviceLock;
    using DevicePort::DeviceLockHolds;
    using DevicePort::DeviceLockName;
    using DevicePort::ReleaseDeviceLock;
};
