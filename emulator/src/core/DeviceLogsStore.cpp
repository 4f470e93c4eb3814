#include "core/DeviceLogsStore.h"

#include <algorithm>
#include <utility>

namespace emulator {

void DeviceLogsStore::Request(RequestLogEntry entry)
{
    // Pending requests are logged when they complete, under the number they
    // got on arrival: keep the log in arrival order.
    auto at = std::upper_bound(requests_.begin(), requests_.end(), entry.sequence,
                               [](std::uint64_t seq, const RequestLogEntry& e) { return seq < e.sequence; });
    requests_.insert(at, std::move(entry));
}

void DeviceLogsStore::Violation(std::string_view rule, std::string text)
{
    violations_.push_back({std::string(rule), current_, std::move(text)});
}

void DeviceLogsStore::Observation(std::string_view id, DeviceTime time, std::string text)
{
    observations_.push_back({std::string(id), current_, time, std::move(text)});
}

void DeviceLogsStore::ObservationOnce(std::string_view key, std::string_view id, DeviceTime time,
                                      std::string text)
{
    if (once_.insert(std::string(key)).second)
        Observation(id, time, std::move(text));
}

void DeviceLogsStore::Clear()
{
    requests_.clear();
    violations_.clear();
    observations_.clear();
}

}  // namespace emulator
