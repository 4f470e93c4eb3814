// One host connection to a virtual scanner: requests are submitted with an
// id, run one at a time in arrival order across all connections, and are
// completed through a callback (at once, or later for pending requests).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <emulator/DeviceRequest.h>

namespace emulator {

class Device;

class DeviceConnection {
public:
    using Completion = std::function<void(std::uint32_t id, const DeviceReply& reply)>;

    DeviceConnection(std::shared_ptr<Device> device, std::uint32_t number);
    ~DeviceConnection();  // cancels what is still pending
    DeviceConnection(const DeviceConnection&) = delete;
    DeviceConnection& operator=(const DeviceConnection&) = delete;

    std::uint32_t Number() const { return number_; }

    // The completion may run inside Submit or later on a device thread; it
    // is never called for a request that was cancelled (op Cancel or Cancel()).
    void Submit(std::uint32_t id, DeviceRequest request, Completion done);
    void Cancel(std::uint32_t id);

    // Submits and waits for the reply; a request still pending after `wait`
    // is cancelled and nullopt returned.
    std::optional<DeviceReply> Call(DeviceRequest request,
                                    std::chrono::milliseconds wait = std::chrono::seconds(10));

    // True once the device was unplugged and this connection closed by it.
    bool Closed() const;

private:
    std::shared_ptr<Device> device_;
    std::uint32_t number_;
    std::uint32_t nextCallId_ = 0x80000000u;
};

}  // namespace emulator
