#include "usb/UsbscanFace.h"
#include "core/ByteOrder.h"

#include <algorithm>

namespace emulator {
namespace {

constexpr std::uint32_t kMaxTransfer = 16u << 20;
constexpr std::uint16_t kBcdDevice = 0x0100;
constexpr std::uint16_t kLanguageId = 0x0409;

// Bulk packet size: the bus speed, or full speed forced on a GL125 board.
long PacketSize(const Switches& switches)
{
    return switches.On("gl125.full_speed") ? 64 : switches.Integer("packet_size");
}

DeviceReply Fail(std::uint32_t error) { return DeviceReply{error, 0, {}}; }

DeviceReply Done(std::uint32_t count) { return DeviceReply{kErrorSuccess, count, {}}; }

DeviceReply Done(std::vector<std::uint8_t> data)
{
    const auto count = static_cast<std::uint32_t>(data.size());
    return DeviceReply{kErrorSuccess, count, std::move(data)};
}

// Rates of the bus model in bytes per second and its frame time.
struct BusRate {
    std::string_view model;
    int packet;
    double bytesPerSecond;
};
constexpr std::array<BusRate, 4> kBusRates{{
    {"practical", 512, 40e6},
    {"theoretical", 512, 53e6},
    {"practical", 64, 1.0e6},
    {"theoretical", 64, 1.2e6},
}};

}  // namespace

RequestClass UsbscanFace::Classify(const DeviceRequest& r)
{
    RequestClass c;
    switch (r.op) {
    case RequestOp::Read:
        c.bulkIn = true;
        break;
    case RequestOp::Write:
        c.bulkOut = true;
        break;
    case RequestOp::Ioctl:
        c.ioctl = r.code;
        c.controlIn = r.code == kIoctlReadRegisters;
        c.controlOut = r.code == kIoctlWriteRegisters;
        c.event = r.code == kIoctlWaitOnDeviceEvent;
        if ((c.controlIn || c.controlOut) && r.input.size() >= 4)
            c.vendorRequest = LoadLe32(r.input, 0);
        break;
    case RequestOp::Cancel:
        break;
    }
    return c;
}

DeviceTime UsbscanFace::BusTime(TransferKind kind, std::size_t bytes) const
{
    const std::string& model = d_.switches_.Get("bus");
    if (model == "off")
        return DeviceTime{};
    const int packet = static_cast<int>(PacketSize(d_.switches_));
    const bool high = packet == 512;
    if (kind == TransferKind::ControlIn || kind == TransferKind::ControlOut)
        return high ? std::chrono::microseconds(250) : std::chrono::milliseconds(1);
    if (kind != TransferKind::BulkIn && kind != TransferKind::BulkOut)
        return DeviceTime{};
    auto rate = std::find_if(kBusRates.begin(), kBusRates.end(),
                             [&](const BusRate& b) { return b.model == model && b.packet == packet; });
    const DeviceTime frame = high ? DeviceTime(std::chrono::microseconds(125)) : DeviceTime(std::chrono::milliseconds(1));
    return frame + DeviceTime(static_cast<std::int64_t>(static_cast<double>(bytes) / rate->bytesPerSecond * 1e9));
}

std::optional<DeviceReply> UsbscanFace::Execute(Device::Pending& p, const DeviceRequest& r,
                                                const std::optional<RequestFault>& fault)
{
    RequestLogEntry& log = p.log;
    log.code = r.code;
    log.length = r.op == RequestOp::Read ? r.outLength : static_cast<std::uint32_t>(r.input.size());
    log.data.assign(r.input.begin(), r.input.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, r.input.size())));
    const RequestClass cls = Classify(r);
    log.kind = cls.bulkIn ? TransferKind::BulkIn
               : cls.bulkOut ? TransferKind::BulkOut
               : cls.controlIn ? TransferKind::ControlIn
               : cls.controlOut ? TransferKind::ControlOut
               : cls.event ? TransferKind::EventWait
                           : TransferKind::Ioctl;

    if (fault) {
        switch (fault->kind) {
        case FaultKind::Timeout:
            if (cls.bulkIn || cls.bulkOut)
                d_.chip_->BulkWithdrawn(cls.bulkIn);
            p.kind = Device::PendKind::Forever;
            return std::nullopt;
        case FaultKind::Stall:
        case FaultKind::Error:
            if (cls.bulkIn || cls.bulkOut)
                d_.chip_->BulkWithdrawn(cls.bulkIn);
            return Fail(fault->kind == FaultKind::Stall ? kErrorGenFailure : fault->argument);
        default:
            break;
        }
    }
    const std::uint32_t shortBy = fault && fault->kind == FaultKind::Short ? fault->argument : 0;

    if (r.op == RequestOp::Read)
        return BulkIn(p, r.outLength, shortBy);
    if (r.op == RequestOp::Write)
        return BulkOut(p, r, shortBy);

    switch (r.code) {
    case kIoctlGetDeviceDescriptor: {
        std::vector<std::uint8_t> out;
        AppendLe(out, d_.board_.vendorId, 2);
        AppendLe(out, d_.board_.productId, 2);
        AppendLe(out, kBcdDevice, 2);
        AppendLe(out, kLanguageId, 2);
        out.resize(8 - std::min<std::uint32_t>(8, shortBy));
        return Done(std::move(out));
    }
    case kIoctlGetChannelAlignRqst: {
        const auto packet = static_cast<std::uint32_t>(PacketSize(d_.switches_));
        std::vector<std::uint8_t> out;
        AppendLe(out, 1, 4);
        AppendLe(out, packet, 4);
        AppendLe(out, packet, 4);
        out.resize(12 - std::min<std::uint32_t>(12, shortBy));
        return Done(std::move(out));
    }
    case kIoctlReadRegisters:
        return RegisterRequest(p, r, shortBy, false);
    case kIoctlWriteRegisters:
        return RegisterRequest(p, r, shortBy, true);
    case kIoctlResetPipe: {
        std::uint32_t pipe = 3;
        if (r.input.size() == 4)
            pipe = LoadLe32(r.input, 0);
        else if (!r.input.empty())
            return Fail(kErrorInvalidParameter);
        if (pipe > 3)
            return Fail(kErrorInvalidParameter);
        d_.chip_->ResetPipe(pipe == 1 || pipe == 3, pipe == 2 || pipe == 3);
        return Done(0);
    }
    case kIoctlWaitOnDeviceEvent:
        p.kind = Device::PendKind::Event;
        return std::nullopt;
    case kIoctlClockAdvance:
        if (!d_.switches_.On("clock_advance_ioctl"))
            return Fail(kErrorInvalidFunction);
        if (r.input.size() != 4)
            return Fail(kErrorInvalidParameter);
        d_.clock_.Advance(std::chrono::microseconds(LoadLe32(r.input, 0)));
        return Done(0);
    default:
        return Fail(kErrorInvalidFunction);
    }
}

std::optional<DeviceReply> UsbscanFace::RegisterRequest(Device::Pending& p, const DeviceRequest& r,
                                                        std::uint32_t shortBy, bool write)
{
    if (r.input.size() < 12) {
        d_.logs_.Violation("T1", "register request without its {uOffset, uIndex, uLength} block");
        return Fail(kErrorInvalidParameter);
    }
    const std::uint32_t request = LoadLe32(r.input, 0);
    const std::uint32_t index = LoadLe32(r.input, 4);
    const std::uint32_t length = LoadLe32(r.input, 8);
    p.log.code = request;
    p.log.index = index;
    p.log.length = length;
    if (write) {
        std::vector<std::uint8_t> data(r.input.begin() + 12, r.input.end());
        p.log.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, data.size())));
        if (data.size() != length) {
            d_.logs_.Violation("T1", "WRITE_REGISTERS with " + std::to_string(data.size()) +
                                         " data bytes for uLength " + std::to_string(length));
            return Fail(kErrorInvalidParameter);
        }
        const std::size_t acting = length - std::min(length, shortBy);
        if (request > d_.chip_->HighestRequest() || index > 0xFFFF) {
            d_.logs_.Violation("G1", "vendor request " + std::to_string(request) + " out of range");
            return Fail(kErrorGenFailure);
        }
        if (!d_.chip_->VendorOut(static_cast<std::uint16_t>(request), static_cast<std::uint16_t>(index), data, acting))
            return Fail(kErrorGenFailure);
        return Done(static_cast<std::uint32_t>(acting));
    }
    if (request > d_.chip_->HighestRequest() || index > 0xFFFF || length > kMaxTransfer) {
        d_.logs_.Violation("G1", "vendor request " + std::to_string(request) + " out of range");
        return Fail(kErrorGenFailure);
    }
    std::vector<std::uint8_t> out;
    if (!d_.chip_->VendorIn(static_cast<std::uint16_t>(request), static_cast<std::uint16_t>(index), length, out))
        return Fail(kErrorGenFailure);
    out.resize(length - std::min(length, shortBy));
    p.log.data.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, out.size())));
    return Done(std::move(out));
}

std::optional<DeviceReply> UsbscanFace::BulkIn(Device::Pending& p, std::uint32_t length, std::uint32_t shortBy)
{
    if (length == 0 || length > kMaxTransfer)
        return Fail(kErrorInvalidParameter);
    std::vector<std::uint8_t> memory;
    switch (d_.chip_->BulkInBegin(length, memory)) {
    case BulkInKind::Stall:
        return Fail(kErrorGenFailure);
    case BulkInKind::Memory:
        memory.resize(length - std::min(length, shortBy));
        p.log.data.assign(memory.begin(), memory.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, memory.size())));
        return Done(std::move(memory));
    case BulkInKind::Image:
        break;
    }
    p.kind = Device::PendKind::Image;
    p.want = length - std::min(length, shortBy);
    p.started = d_.clock_.Now();
    return std::nullopt;
}

DeviceReply UsbscanFace::BulkOut(Device::Pending&, const DeviceRequest& r, std::uint32_t shortBy)
{
    const auto length = static_cast<std::uint32_t>(r.input.size());
    if (length == 0 || length > kMaxTransfer)
        return Fail(kErrorInvalidParameter);
    if (!d_.chip_->BulkOut(r.input))
        return Fail(kErrorGenFailure);
    return Done(length - std::min(length, shortBy));
}

}  // namespace emulator
