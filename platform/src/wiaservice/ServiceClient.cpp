// The client side of the host's WIA face.
#include "sti/ServiceConnection.h"
#include "wiaservice/WiaServiceProtocol.h"

#include <platform/wia_service.h>

namespace platform::wia {

using sti::Reader;
using sti::Writer;

struct ServiceClient::Connection {
    sti::ServiceConnection connection;
};

ServiceClient::ServiceClient() : connection_(new Connection) {}
ServiceClient::~ServiceClient() { delete connection_; }
bool ServiceClient::Connected() const { return connection_->connection.Connected(); }

namespace {

Writer Request(WiaOp op) {
    Writer w;
    w.U32(static_cast<uint32_t>(op));
    return w;
}

}  // namespace

std::vector<DeviceEntry> ServiceClient::Devices() {
    std::vector<DeviceEntry> out;
    auto reply = connection_->connection.Call(Request(WiaOp::Devices));
    if (!reply) return out;
    Reader r(*reply);
    if (r.I32() != S_OK) return out;
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) {
        DeviceEntry e;
        e.name = r.WString();
        e.description = r.WString();
        e.port = r.WString();
        e.vendor = r.WString();
        e.deviceDescription = r.WString();
        e.type = r.U32();
        if (r.Ok()) out.push_back(e);
    }
    return out;
}

HRESULT ServiceClient::ReadLong(const std::wstring& device, int item, PROPID id, LONG* value) {
    Writer w = Request(WiaOp::ReadLong);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(id);
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    const LONG v = r.I32();
    if (!r.Ok()) return E_FAIL;
    if (value) *value = v;
    return result;
}

HRESULT ServiceClient::WriteLongs(const std::wstring& device, int item,
                                  const std::vector<std::pair<PROPID, LONG>>& values) {
    Writer w = Request(WiaOp::WriteLongs);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(static_cast<uint32_t>(values.size()));
    for (const auto& [id, v] : values) w.U32(id).I32(v);
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    return r.Ok() ? result : E_FAIL;
}

AcquireResult ServiceClient::Acquire(const std::wstring& device, int item, Transfer kind, const std::string& prefix,
                                     int cancelAfterBands) {
    AcquireResult out;
    Writer w = Request(WiaOp::Acquire);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(static_cast<uint32_t>(kind)).Bytes(TextBytes(prefix));
    w.I32(cancelAfterBands);
    auto reply = connection_->connection.Call(w);
    if (!reply) return out;
    Reader r(*reply);
    out.result = r.I32();
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) {
        const auto path = r.Bytes();
        out.pages.emplace_back(path.begin(), path.end());
    }
    out.bands = r.I32();
    if (!r.Ok()) out.result = E_FAIL;
    return out;
}

HRESULT ServiceClient::Cancel(const std::wstring& device) {
    // A connection of its own: the acquiring one is busy until it ends.
    sti::ServiceConnection other;
    Writer w = Request(WiaOp::Cancel);
    w.WString(device);
    auto reply = other.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    return r.I32();
}

std::vector<ServiceEvent> ServiceClient::Events(DWORD ms) {
    std::vector<ServiceEvent> out;
    Writer w = Request(WiaOp::Events);
    w.U32(ms);
    auto reply = connection_->connection.Call(w);
    if (!reply) return out;
    Reader r(*reply);
    if (r.I32() != S_OK) return out;
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) {
        ServiceEvent e;
        e.deviceId = r.WString();
        e.event = GuidFromBytes(r.Bytes());
        e.item = r.WString();
        if (r.Ok()) out.push_back(e);
    }
    return out;
}

HRESULT ServiceClient::Capabilities(const std::wstring& device, LONG flags, std::vector<Capability>* out) {
    if (out == nullptr) return E_INVALIDARG;
    out->clear();
    Writer w = Request(WiaOp::Capabilities);
    w.WString(device).U32(static_cast<uint32_t>(flags));
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) {
        Capability c;
        c.guid = GuidFromBytes(r.Bytes());
        c.flags = r.U32();
        c.name = r.WString();
        if (r.Ok()) out->push_back(c);
    }
    return r.Ok() ? result : E_FAIL;
}

HRESULT ServiceClient::NotifyPnp(const std::wstring& device, const GUID& event) {
    Writer w = Request(WiaOp::NotifyPnp);
    w.WString(device).Bytes(GuidBytes(event));
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    return r.I32();
}

HRESULT ServiceClient::ItemFlags(const std::wstring& device, int item, LONG* flags) {
    if (flags == nullptr) return E_INVALIDARG;
    Writer w = Request(WiaOp::ItemFlags);
    w.WString(device).U32(static_cast<uint32_t>(item));
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    if (!r.Ok()) return E_FAIL;
    if (FAILED(result)) return result;  // an unknown device's answer carries nothing else
    const LONG value = r.I32();
    if (!r.Ok()) return E_FAIL;
    *flags = value;
    return result;
}

HRESULT ServiceClient::Read(const std::wstring& device, int item, std::vector<PropertyData>* values) {
    if (values == nullptr || values->size() > kMaxProperties) return E_INVALIDARG;
    Writer w = Request(WiaOp::Read);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(static_cast<uint32_t>(values->size()));
    for (const PropertyData& p : *values) PutProperty(w, p);
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    if (FAILED(result)) return r.Ok() ? result : E_FAIL;
    std::vector<PropertyData> read;
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) read.push_back(GetProperty(r));
    if (!r.Ok() || read.size() != values->size()) return E_FAIL;
    *values = std::move(read);
    return result;
}

HRESULT ServiceClient::Write(const std::wstring& device, int item, const std::vector<PropertyData>& values) {
    if (values.size() > kMaxProperties) return E_INVALIDARG;
    Writer w = Request(WiaOp::Write);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(static_cast<uint32_t>(values.size()));
    for (const PropertyData& p : values) PutProperty(w, p);
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    return r.Ok() ? result : E_FAIL;
}

HRESULT ServiceClient::Attributes(const std::wstring& device, int item, const std::vector<PropertyData>& which,
                                  std::vector<PropertyInfo>* out, std::vector<bool>* found) {
    if (out == nullptr || found == nullptr || which.size() > kMaxProperties) return E_INVALIDARG;
    out->clear();
    found->clear();
    Writer w = Request(WiaOp::Attributes);
    w.WString(device).U32(static_cast<uint32_t>(item)).U32(static_cast<uint32_t>(which.size()));
    for (const PropertyData& p : which) PutProperty(w, p);
    auto reply = connection_->connection.Call(w);
    if (!reply) return E_FAIL;
    Reader r(*reply);
    const HRESULT result = r.I32();
    if (FAILED(result)) return r.Ok() ? result : E_FAIL;
    const uint32_t n = r.U32();
    for (uint32_t i = 0; i < n && r.Ok(); ++i) {
        found->push_back(r.U32() != 0);
        out->push_back(GetAttributes(r));
    }
    if (!r.Ok() || out->size() != which.size()) {
        out->clear();
        found->clear();
        return E_FAIL;
    }
    return result;
}

}  // namespace platform::wia
