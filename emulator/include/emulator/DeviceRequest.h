// Request and reply records of the device endpoint: one record per read,
// write, I/O control or cancel a host sends on a connection.
#pragma once

#include <cstdint>
#include <vector>

namespace emulator {

enum class RequestOp : std::uint32_t { Read = 1, Write = 2, Ioctl = 3, Cancel = 4 };

// One host request. For reads outLength is the byte count asked; for
// writes input holds the data; for I/O controls input holds the caller's
// bytes (register requests: {uOffset, uIndex, uLength} as u32 LE, then the
// data to write) and outLength the size of the output buffer.
struct DeviceRequest {
    RequestOp op = RequestOp::Ioctl;
    std::uint32_t code = 0;        // I/O control code; cancel: the target id
    std::uint32_t outLength = 0;
    std::vector<std::uint8_t> input;
};

// The answer: a Win32 error code (0 = success), the count the host sees and
// the bytes delivered (reads and I/O control output).
struct DeviceReply {
    std::uint32_t error = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> data;
    std::int64_t timeNs = 0;  // device time when the answer left, nanoseconds
};

// Win32 error codes the device answers with.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorIoDevice = 1117;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

// The usbscan I/O control codes the device answers.
inline constexpr std::uint32_t kIoctlWaitOnDeviceEvent = 0x80002008;
inline constexpr std::uint32_t kIoctlReadRegisters = 0x8000200C;
inline constexpr std::uint32_t kIoctlWriteRegisters = 0x80002010;
inline constexpr std::uint32_t kIoctlGetChannelAlignRqst = 0x80002014;
inline constexpr std::uint32_t kIoctlGetDeviceDescriptor = 0x80002018;
inline constexpr std::uint32_t kIoctlResetPipe = 0x8000201C;
inline constexpr std::uint32_t kIoctlClockAdvance = 0x80003FFC;
// Device-private: the host's clock meets the device's. Input: u64 target
// device time in nanoseconds (all ones: none) and u32 flags (kClockSyncStamp:
// every later reply on this connection carries the device time as a u64
// after its bytes). The device on a virtual clock runs on to the target (to
// its next event without one), stopping at the first held answer due
// earlier, and answers once every answer due by then has gone out: u64 device
// time, u32 flags (kClockSyncVirtual), u32 0. Not logged, no request quantum.
inline constexpr std::uint32_t kIoctlClockSync = 0x80003FF8;
inline constexpr std::uint32_t kClockSyncStamp = 1;
inline constexpr std::uint32_t kClockSyncVirtual = 1;
inline constexpr std::uint64_t kClockSyncNoTarget = ~std::uint64_t{0};

}  // namespace emulator
