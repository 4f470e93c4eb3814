// The device's three logs: every request, every protocol violation and
// legal but notable observations.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <emulator/DeviceRequest.h>

namespace emulator {

using DeviceTime = std::chrono::nanoseconds;

enum class TransferKind : std::uint8_t {
    Ioctl,
    ControlIn,
    ControlOut,
    BulkIn,
    BulkOut,
    EventWait,
};

struct RequestLogEntry {
    std::uint64_t sequence = 0;
    DeviceTime time{};
    std::uint32_t connection = 0;
    TransferKind kind = TransferKind::Ioctl;
    std::uint32_t code = 0;      // I/O control code, or the vendor request
    std::uint32_t index = 0;     // vendor request index
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;  // first 64 bytes sent or delivered
    std::uint32_t result = 0;    // Win32 error
    std::uint32_t count = 0;
};

// A rule broken by the host, such as "G3"; request = its sequence number
// (0 when no request caused it).
struct ViolationLogEntry {
    std::string rule;
    std::uint64_t request = 0;
    std::string text;
};

struct ObservationLogEntry {
    std::string id;  // "O1" … or a free-form tag
    std::uint64_t request = 0;
    DeviceTime time{};
    std::string text;
};

}  // namespace emulator
