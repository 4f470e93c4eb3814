#include "WiaFace.h"

#include "HostLog.h"

#include "sti/StillImageDevices.h"
#include "wiaservice/WiaServiceProtocol.h"

#include <platform/wia_service.h>

#include <map>
#include <memory>
#include <mutex>

namespace imgsvc {
namespace {

using platform::sti::Reader;
using platform::sti::Writer;
using platform::wia::WiaOp;

struct Faces {
    std::mutex mutex;
    std::map<std::wstring, std::shared_ptr<platform::wia::DeviceService>> services;
};

Faces& AllFaces() {
    static auto* faces = new Faces;
    return *faces;
}

std::shared_ptr<platform::wia::DeviceService> Find(const std::wstring& device) {
    Faces& faces = AllFaces();
    std::lock_guard<std::mutex> lock(faces.mutex);
    auto it = faces.services.find(device);
    return it == faces.services.end() ? nullptr : it->second;
}

Writer Reply(HRESULT result) {
    Writer w;
    w.I32(result);
    return w;
}

BYTE* Item(platform::wia::DeviceService& service, uint32_t item) {
    return item == 0 ? service.Root() : item == 1 ? service.Feeder() : nullptr;
}

}  // namespace

void AttachWiaFace(const std::wstring& device, IStiUSD* driver) {
    auto service = std::make_shared<platform::wia::DeviceService>(driver, device);
    const HRESULT result = service->Initialize();
    HostLog("WIA face of " + platform::sti::Narrow(device) + ": " + std::to_string(result));
    if (FAILED(result)) return;
    Faces& faces = AllFaces();
    std::lock_guard<std::mutex> lock(faces.mutex);
    faces.services[device] = std::move(service);
}

void DetachWiaFaces() {
    Faces& faces = AllFaces();
    std::lock_guard<std::mutex> lock(faces.mutex);
    faces.services.clear();
}

Writer DispatchWia(uint32_t op, Reader& r) {
    switch (static_cast<WiaOp>(op)) {
        case WiaOp::Devices: {
            const auto devices = platform::wia::ListDevices();
            Writer w = Reply(S_OK);
            w.U32(static_cast<uint32_t>(devices.size()));
            for (const auto& d : devices) {
                w.WString(d.name).WString(d.description).WString(d.port);
                w.WString(d.vendor).WString(d.deviceDescription).U32(d.type);
            }
            return w;
        }
        case WiaOp::Events: {
            const DWORD ms = r.U32();
            const auto events = platform::wia::WaitServiceEvents(ms < 60000 ? ms : 60000);
            Writer w = Reply(S_OK);
            w.U32(static_cast<uint32_t>(events.size()));
            for (const auto& e : events) w.WString(e.deviceId).Bytes(platform::wia::GuidBytes(e.event)).WString(e.item);
            return w;
        }
        default: break;
    }
    const std::wstring device = r.WString();
    auto service = Find(device);
    if (!r.Ok()) return Reply(E_INVALIDARG);
    if (!service) return Reply(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    switch (static_cast<WiaOp>(op)) {
        case WiaOp::ReadLong: {
            const uint32_t item = r.U32();
            const PROPID id = r.U32();
            LONG value = 0;
            const HRESULT result = r.Ok() ? service->ReadLong(Item(*service, item), id, &value) : E_INVALIDARG;
            Writer w = Reply(result);
            w.I32(value);
            return w;
        }
        case WiaOp::WriteLongs: {
            const uint32_t item = r.U32();
            const uint32_t n = r.U32();
            std::vector<std::pair<PROPID, LONG>> values;
            for (uint32_t i = 0; i < n && i < 256 && r.Ok(); ++i) {
                const PROPID id = r.U32();
                const LONG v = r.I32();
                values.emplace_back(id, v);
            }
            if (!r.Ok()) return Reply(E_INVALIDARG);
            return Reply(service->WriteLongs(Item(*service, item), values));
        }
        case WiaOp::Acquire: {
            const uint32_t item = r.U32();
            const uint32_t kind = r.U32();
            const auto prefix = r.Bytes();
            const int32_t cancelAfter = r.I32();
            if (!r.Ok() || kind > 2) return Reply(E_INVALIDARG);
            const auto result = service->Acquire(Item(*service, item), static_cast<platform::wia::Transfer>(kind),
                                                 std::string(prefix.begin(), prefix.end()), cancelAfter);
            Writer w = Reply(result.result);
            w.U32(static_cast<uint32_t>(result.pages.size()));
            for (const auto& page : result.pages) w.Bytes(platform::wia::TextBytes(page));
            w.I32(result.bands);
            return w;
        }
        case WiaOp::Cancel:
            service->Cancel();
            return Reply(S_OK);
        case WiaOp::Capabilities: {
            const LONG flags = static_cast<LONG>(r.U32());
            std::vector<platform::wia::Capability> caps;
            const HRESULT result = r.Ok() ? service->Capabilities(flags, &caps) : E_INVALIDARG;
            Writer w = Reply(result);
            w.U32(static_cast<uint32_t>(caps.size()));
            for (const auto& c : caps) w.Bytes(platform::wia::GuidBytes(c.guid)).U32(c.flags).WString(c.name);
            return w;
        }
        case WiaOp::ItemFlags: {
            const uint32_t item = r.U32();
            LONG flags = 0;
            const HRESULT result = r.Ok() ? service->ItemFlags(Item(*service, item), &flags) : E_INVALIDARG;
            Writer w = Reply(result);
            w.I32(flags);
            return w;
        }
        case WiaOp::Read:
        case WiaOp::Write:
        case WiaOp::Attributes: {
            const uint32_t item = r.U32();
            const uint32_t n = r.U32();
            if (!r.Ok() || n > platform::wia::kMaxProperties) return Reply(E_INVALIDARG);
            std::vector<platform::wia::PropertyData> values;
            for (uint32_t i = 0; i < n && r.Ok(); ++i) values.push_back(platform::wia::GetProperty(r));
            if (!r.Ok()) return Reply(E_INVALIDARG);
            BYTE* context = Item(*service, item);
            if (context == nullptr) return Reply(E_INVALIDARG);
            if (static_cast<WiaOp>(op) == WiaOp::Write) return Reply(service->Write(context, values));
            if (static_cast<WiaOp>(op) == WiaOp::Read) {
                const HRESULT result = service->Read(context, &values);
                Writer w = Reply(result);
                w.U32(static_cast<uint32_t>(values.size()));
                for (const auto& v : values) platform::wia::PutProperty(w, v);
                return w;
            }
            Writer w = Reply(S_OK);
            w.U32(static_cast<uint32_t>(values.size()));
            for (const auto& v : values) {
                const PROPID id = v.name.empty() ? v.id : service->IdOf(context, v.name);
                platform::wia::PropertyInfo info;
                const bool found = id != 0 && service->Info(context, id, &info);
                w.U32(found ? 1 : 0);
                platform::wia::PutAttributes(w, info);
            }
            return w;
        }
        case WiaOp::NotifyPnp: {
            const GUID event = platform::wia::GuidFromBytes(r.Bytes());
            if (!r.Ok()) return Reply(E_INVALIDARG);
            return Reply(service->NotifyPnp(event));
        }
        default: return Reply(E_INVALIDARG);
    }
}

}  // namespace imgsvc
