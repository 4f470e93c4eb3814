// The WIA requests a client sends the image-acquisition service host, on
// the Still Image connection's framing: op numbers from 100 on, fixed-width
// little-endian fields, GUIDs as 16 bytes, paths as bytes.
#pragma once

#include "sti/ImageServiceProtocol.h"

#include <platform/wia_service.h>

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
    ItemFlags,      // wstring device, u32 item -> i32 flags
    Read,           // wstring device, u32 item, u32 n, n x property -> u32 n, n x property
    Write,          // wstring device, u32 item, u32 n, n x property
    Attributes,     // wstring device, u32 item, u32 n, n x property -> u32 n, n x (u32 found, attributes)
};

inline bool IsWiaOp(uint32_t op) { return op >= 100 && op <= 111; }

// The most properties one request carries.
inline constexpr uint32_t kMaxProperties = 512;

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

// A property: u32 id, wstring name, u32 type, i32 number, wstring text, bytes guid.
inline void PutProperty(sti::Writer& w, const PropertyData& p) {
    w.U32(p.id).WString(p.name).U32(p.vt).I32(p.number).WString(p.text).Bytes(GuidBytes(p.guid));
}

inline PropertyData GetProperty(sti::Reader& r) {
    PropertyData p;
    p.id = r.U32();
    p.name = r.WString();
    p.vt = static_cast<VARTYPE>(r.U32());
    p.number = r.I32();
    p.text = r.WString();
    p.guid = GuidFromBytes(r.Bytes());
    return p;
}

// Attributes: u32 access, i32 min, nominal, max, step, u32 n, n x i32,
// u32 n, n x bytes guid, bytes nominal guid, i32 valid bits.
inline void PutAttributes(sti::Writer& w, const PropertyInfo& info) {
    w.U32(info.access).I32(info.min).I32(info.nominal).I32(info.max).I32(info.step);
    w.U32(static_cast<uint32_t>(info.list.size()));
    for (LONG v : info.list) w.I32(v);
    w.U32(static_cast<uint32_t>(info.guids.size()));
    for (const GUID& g : info.guids) w.Bytes(GuidBytes(g));
    w.Bytes(GuidBytes(info.guidNominal)).I32(info.validBits);
}

inline PropertyInfo GetAttributes(sti::Reader& r) {
    PropertyInfo info;
    info.access = r.U32();
    info.min = r.I32();
    info.nominal = r.I32();
    info.max = r.I32();
    info.step = r.I32();
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) info.list.push_back(r.I32());
    const uint32_t guids = r.U32();
    for (uint32_t i = 0; i < guids && r.Ok(); ++i) info.guids.push_back(GuidFromBytes(r.Bytes()));
    info.guidNominal = GuidFromBytes(r.Bytes());
    info.validBits = r.I32();
    return info;
}

inline std::vector<uint8_t> TextBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace platform::wia
