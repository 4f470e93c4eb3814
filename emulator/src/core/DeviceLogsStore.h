// The request, protocol-violation and observation logs of one device.
// Not locked: the device's own lock guards it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <emulator/DeviceLogs.h>

namespace emulator {

class DeviceLogsStore {
public:
    // The sequence number the next logged request gets; violations and
    // observations raised while a request runs carry it.
    std::uint64_t CurrentRequest() const { return current_; }
    void BeginRequest() { ++current_; }

    void Request(RequestLogEntry entry);  // entry.sequence set by the caller
    void Violation(std::string_view rule, std::string text);
    void Observation(std::string_view id, DeviceTime time, std::string text);
    // Logs an observation only the first time its key is seen.
    void ObservationOnce(std::string_view key, std::string_view id, DeviceTime time, std::string text);

    const std::vector<RequestLogEntry>& Requests() const { return requests_; }
    const std::vector<ViolationLogEntry>& Violations() const { return violations_; }
    const std::vector<ObservationLogEntry>& Observations() const { return observations_; }
    void Clear();

private:
    std::uint64_t current_ = 0;
    std::vector<RequestLogEntry> requests_;
    std::vector<ViolationLogEntry> violations_;
    std::vector<ObservationLogEntry> observations_;
    std::set<std::string, std::less<>> once_;
};

}  // namespace emulator
