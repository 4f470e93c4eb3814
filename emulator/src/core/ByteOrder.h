// Little-endian fields of the chip's registers, the USB face's records and
// the socket's frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace emulator {

inline std::uint16_t LoadLe16(std::span<const std::uint8_t> bytes, std::size_t at = 0)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t LoadLe32(std::span<const std::uint8_t> bytes, std::size_t at = 0)
{
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Appends the low `bytes` bytes of `value`, lowest first.
inline void AppendLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace emulator
