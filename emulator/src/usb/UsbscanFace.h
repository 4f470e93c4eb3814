// The usbscan face of the device: turns each host request (I/O control,
// bulk read or write) into chip requests and answers.
#pragma once

#include <optional>

#include "core/Device.h"

namespace emulator {

class UsbscanFace {
public:
    explicit UsbscanFace(Device& device) : d_(device) {}

    // Classifies a request for fault matching.
    static RequestClass Classify(const DeviceRequest& request);

    // Runs one request. Returns the answer, or nullopt when it pends (the
    // pending record's kind and wanted length are set). Fills the log fields.
    std::optional<DeviceReply> Execute(Device::Pending& p, const DeviceRequest& request,
                                       const std::optional<RequestFault>& fault);

    // Bus time of a completed transfer (zero with the bus model off).
    DeviceTime BusTime(TransferKind kind, std::size_t bytes) const;

private:
    std::optional<DeviceReply> RegisterRequest(Device::Pending& p, const DeviceRequest& request,
                                               std::uint32_t shortBy, bool write);
    std::optional<DeviceReply> BulkIn(Device::Pending& p, std::uint32_t length, std::uint32_t shortBy);
    DeviceReply BulkOut(Device::Pending& p, const DeviceRequest& request, std::uint32_t shortBy);

    Device& d_;
};

}  // namespace emulator
