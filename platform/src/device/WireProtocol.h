// Framing of device requests and replies on an endpoint's stream socket
// (little-endian 32-bit fields).
//   request: size of the rest, id, op, code, inLength, outLength, input
//   reply:   size of the rest, id, Win32 error, count, then the reply bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform::wire {

enum Op : uint32_t { kRead = 1, kWrite = 2, kIoctl = 3, kCancel = 4 };

// Largest transfer either way.
constexpr uint32_t kMaxTransfer = 16u * 1024u * 1024u;

constexpr size_t kRequestHeader = 24;  // size field included
constexpr size_t kReplyFixed = 12;     // id, error, count

inline void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline uint32_t GetU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline std::vector<uint8_t> EncodeRequest(uint32_t id, uint32_t op, uint32_t code, std::span<const uint8_t> input,
                                          uint32_t outLength) {
    std::vector<uint8_t> frame;
    frame.reserve(kRequestHeader + input.size());
    PutU32(frame, static_cast<uint32_t>(kRequestHeader - 4 + input.size()));
    PutU32(frame, id);
    PutU32(frame, op);
    PutU32(frame, code);
    PutU32(frame, static_cast<uint32_t>(input.size()));
    PutU32(frame, outLength);
    frame.insert(frame.end(), input.begin(), input.end());
    return frame;
}

}  // namespace platform::wire
