// The WIA requests a client sends the image-acquisition service host, on
// the Still Image connection's framing: op numbers from 100 on, fixed-width
// little-endian fields, GUIDs as 16 bytes, paths as bytes.
#pragma once

#include "sti/ImageServiceProtocol.h"

#include <windef.h>

#include <cstring>

namespace platform::wia {

enum class WiaOp : uint32_t {
    Devices = 100,  // -> u32 n, n x (wstring name, wstring description, wstring port)
    ReadLong,       // wstring device, u32 item (0 root, 1 feeder), u32 property -> i32 value
    WriteLongs,     // wstring device, u32 item, u32 n, n x (u32 property, i32 value)
    Acquire,        // wstring device, u32 item, u32 kind, bytes prefix, i32 cancel after -> u32 n, n x bytes path, i32 bands
    Cancel,         // wstring device
    Events,         // u32 wait ms -> u32 n, n x (wstring device, bytes guid, wstring item)
    NotifyPnp,      // wstring device, bytes guid
    Capabilities,   // wstring device, u32 flags -> u32 n, n x (bytes guid, u32 flags, wstring name)
};

inline bool IsWiaOp(uint32_t op) { return op >= 100 && op <= 107; }

inline std::vector<uint8_t> GuidBytes(const GUID& guid) {
    std::vector<uint8_t> bytes(sizeof(GUID));
    std::memcpy(bytes.data(), &guid, sizeof(GUID));
    return bytes;
}

inline GUID GuidFromBytes(const std::vector<uint8_t>& bytes) {
    GUID guid{};
    if (bytes.size() == sizeof(GUID)) std::memcpy(&guid, bytes.data(), sizeof(GUID));
    return guid;
}

inline std::vector<uint8_t> TextBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace platform::wia
