// Injected faults: request faults "KIND[:ARG] ON CLASS[@N][*COUNT]" matched
// against each request, and state faults handed to the chip and paper path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emulator {

enum class FaultKind : std::uint8_t { Timeout, Stall, Error, Delay, Short, Unplug, PowerCycle };

// What a request is, for matching.
struct RequestClass {
    bool controlIn = false;
    bool controlOut = false;
    std::optional<std::uint32_t> vendorRequest;
    bool bulkIn = false;
    bool bulkOut = false;
    std::optional<std::uint32_t> ioctl;
    bool event = false;
};

struct RequestFault {
    FaultKind kind = FaultKind::Stall;
    std::uint32_t argument = 0;  // error code, milliseconds or K
};

// A state fault, parsed: the name and its argument text.
struct StateFault {
    std::string name;      // busy, motor-never-idle, no-lines, scan-enable-autoclear, jam, slip, no-pick
    std::string argument;  // as written, may be empty
};

class FaultPlan {
public:
    // Parses one fault; a request fault is queued, a state fault returned.
    // Error "bad fault" for anything malformed.
    std::optional<StateFault> Add(std::string_view spec);
    // The fault that applies to this request, if any (counts it).
    std::optional<RequestFault> Match(const RequestClass& request);
    void Clear() { entries_.clear(); }

private:
    struct Entry {
        RequestFault fault;
        std::string cls;
        std::uint32_t classArgument = 0;
        std::uint32_t skip = 0;       // matching requests still to let pass
        std::uint32_t remaining = 1;  // UINT32_MAX: all
    };
    static bool Matches(const Entry& entry, const RequestClass& request);

    std::vector<Entry> entries_;
};

}  // namespace emulator
