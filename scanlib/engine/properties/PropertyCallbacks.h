// One-method interfaces through which the scanner model answers the
// properties whose values live in the device.
#pragma once

#include <cstdint>
#include <string>

class VendorIDCallback {
public:
    virtual ~VendorIDCallback() = default;
    virtual uint16_t GetVendorID() = 0;
};

class ProductIDCallback {
public:
    virtual ~ProductIDCallback() = default;
    virtual uint16_t GetProductID() = 0;
};

class LEDIndicatorCallback {
public:
    virtual ~LEDIndicatorCallback() = default;
    // set: drives the LED to (*value != 0). Get: *value := whether it is lit;
    // the answer is whether it is lit. An unknown led answers non-zero and
    // touches nothing.
    virtual int LEDIndicator(int led, int* value, bool set) = 0;
};

class ScanRateCallback {
public:
    virtual ~ScanRateCallback() = default;
    // The scan-rate bounds for the current settings and the recommended rate.
    virtual void GetScanRateRange(float* minimum, float* maximum, float* recommended) = 0;
};

class FeedRateCallback {
public:
    virtual ~FeedRateCallback() = default;
    virtual void GetFeedRateRange(float* minimum, float* maximum) = 0;
};

// The device's stored values (STI device values), addressed by the device
// name and a value name.
class DeviceValueStore {
public:
    virtual ~DeviceValueStore() = default;
    virtual bool GetDeviceValue(const std::string& device, const std::string& name, int* value) = 0;
    virtual bool SetDeviceValue(const std::string& device, const std::string& name, int value) = 0;
};
