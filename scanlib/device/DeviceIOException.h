// A transport failure of a device port, carried up to the SI_ entry points.
#pragma once

#include <string>
#include <utility>

class DeviceIOException {
public:
    static constexpr int kBusy = 19;              // the device lock was not obtained
    static constexpr int kTransferFailure = 256;

    explicit DeviceIOException(int code, std::string message = {})
        : message_(std::move(message)), code_(code) {}

    const std::string& Message() const { return message_; }
    int Code() const { return code_; }

private:
    std::string message_;  // "Timeout." for a timed-out overlapped transfer, else empty
    int code_;
};
