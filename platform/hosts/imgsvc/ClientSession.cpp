#include "ClientSession.h"

#include "HostLog.h"
#include "WiaFace.h"

#include "wiaservice/WiaServiceProtocol.h"

#include <usbscan.h>
#include <windows.h>

#include <algorithm>
#include <vector>

namespace imgsvc {
namespace {

using platform::sti::Op;
using platform::sti::Reader;
using platform::sti::Writer;

constexpr HRESULT kNotOpen = HRESULT_FROM_WIN32(ERROR_NOT_READY);

Writer Reply(HRESULT result) {
    Writer w;
    w.I32(result);
    return w;
}

void PutErrorInfo(Writer& w, const STI_ERROR_INFO& info) {
    const size_t n = std::find(info.szExtendedErrorText, info.szExtendedErrorText + 255, L'\0') -
                     info.szExtendedErrorText;
    w.U32(info.dwGenericError).U32(info.dwVendorError).WString(std::wstring(info.szExtendedErrorText, n));
}

// One request on the client's driver; the reply to send.
Writer Dispatch(DriverInstance& instance, Op op, Reader& r) {
    IStiUSD* driver = instance.Driver();
    if (driver == nullptr) return Reply(kNotOpen);
    switch (op) {
        case Op::GetCapabilities: {
            STI_USD_CAPS caps{};
            const HRESULT result = driver->GetCapabilities(&caps);
            Writer w = Reply(result);
            w.U32(caps.dwGenericCaps);
            return w;
        }
        case Op::GetStatus: {
            STI_DEVICE_STATUS status{};
            status.dwSize = sizeof status;
            status.StatusMask = r.U32();
            const HRESULT result = driver->GetStatus(&status);
            Writer w = Reply(result);
            w.U32(status.dwOnlineState).U32(status.dwHardwareStatusCode).U32(status.dwEventHandlingState);
            w.U32(status.dwPollingInterval);
            return w;
        }
        case Op::DeviceReset: return Reply(driver->DeviceReset());
        case Op::Diagnostic: {
            STI_DIAG diag{};
            diag.dwSize = sizeof diag;
            diag.dwBasicDiagCode = r.U32();
            diag.dwVendorDiagCode = r.U32();
            const HRESULT result = driver->Diagnostic(&diag);
            Writer w = Reply(result);
            w.U32(diag.dwStatusMask);
            PutErrorInfo(w, diag.sErrorInfo);
            return w;
        }
        case Op::Escape: {
            const DWORD code = r.U32();
            std::vector<uint8_t> in = r.Bytes();
            const DWORD outSize = std::min<DWORD>(r.U32(), platform::sti::kMaxTransfer);
            const bool wantsReturned = r.U8() != 0;
            if (!r.Ok()) return Reply(E_INVALIDARG);
            std::vector<uint8_t> out(outSize);
            DWORD returned = 0;
            const HRESULT result =
                driver->Escape(code, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                               out.empty() ? nullptr : out.data(), outSize, wantsReturned ? &returned : nullptr);
            Writer w = Reply(result);
            w.U32(returned).Bytes({out.data(), std::min<size_t>(returned, out.size())});
            return w;
        }
        case Op::GetLastError: {
            DWORD error = 0;
            const HRESULT result = driver->GetLastError(&error);
            Writer w = Reply(result);
            w.U32(error);
            return w;
        }
        case Op::LockDevice: return Reply(driver->LockDevice());
        case Op::UnLockDevice: return Reply(driver->UnLockDevice());
        case Op::RawReadData: {
            DWORD length = std::min<DWORD>(r.U32(), platform::sti::kMaxTransfer);
            std::vector<uint8_t> data(length);
            const HRESULT result = driver->RawReadData(data.data(), &length, nullptr);
            Writer w = Reply(result);
            w.Bytes({data.data(), SUCCEEDED(result) ? std::min<size_t>(length, data.size()) : 0});
            return w;
        }
        case Op::RawWriteData: {
            std::vector<uint8_t> data = r.Bytes();
            if (!r.Ok()) return Reply(E_INVALIDARG);
            return Reply(driver->RawWriteData(data.data(), static_cast<DWORD>(data.size()), nullptr));
        }
        case Op::RawReadCommand: {
            // The request block is rebuilt here around a buffer of its own length.
            IO_BLOCK block{};
            block.uOffset = r.U32();
            block.uLength = std::min<unsigned>(r.U32(), platform::sti::kMaxTransfer);
            block.uIndex = r.U32();
            std::vector<uint8_t> data(block.uLength);
            block.pbyData = data.data();
            DWORD count = 0;
            const HRESULT result = driver->RawReadCommand(&block, &count, nullptr);
            Writer w = Reply(result);
            w.Bytes({data.data(), SUCCEEDED(result) ? std::min<size_t>(count, data.size()) : 0});
            return w;
        }
        case Op::RawWriteCommand: {
            IO_BLOCK block{};
            block.uOffset = r.U32();
            block.uIndex = r.U32();
            std::vector<uint8_t> data = r.Bytes();
            if (!r.Ok()) return Reply(E_INVALIDARG);
            block.uLength = static_cast<unsigned>(data.size());
            block.pbyData = data.data();
            return Reply(driver->RawWriteCommand(&block, sizeof block, nullptr));
        }
        case Op::GetLastErrorInfo: {
            STI_ERROR_INFO info{};
            info.dwSize = sizeof info;
            const HRESULT result = driver->GetLastErrorInfo(&info);
            Writer w = Reply(result);
            PutErrorInfo(w, info);
            return w;
        }
        default: return Reply(E_INVALIDARG);
    }
}

}  // namespace

bool ServeClient(int fd, const std::function<void()>& devicesChanged) {
    DriverInstance instance;
    bool opened = false;
    for (;;) {
        auto body = platform::sti::ReceiveFrame(fd);
        if (!body) return false;
        Reader r(*body);
        const auto op = static_cast<Op>(r.U32());
        if (!r.Ok()) return false;
        if (op == Op::Stop) {
            platform::sti::SendFrame(fd, Reply(S_OK).Body());
            return true;
        }
        if (op == Op::DevicesChanged) {
            devicesChanged();
            platform::sti::SendFrame(fd, Reply(S_OK).Body());
            continue;
        }
        Writer reply = Reply(E_INVALIDARG);
        if (op == Op::Open) {
            const std::wstring name = r.WString();
            const DWORD mode = r.U32();
            auto device = platform::sti::FindDevice(name);
            if (!r.Ok() || opened) {
                reply = Reply(E_INVALIDARG);
            } else if (!device) {
                reply = Reply(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
            } else {
                // Monitor instances belong to the host alone.
                reply = Reply(instance.Create(*device, mode & ~STI_DEVICE_CREATE_FOR_MONITOR));
                opened = true;
            }
        } else if (platform::wia::IsWiaOp(static_cast<uint32_t>(op))) {
            reply = DispatchWia(static_cast<uint32_t>(op), r);
        } else {
            reply = Dispatch(instance, op, r);
        }
        if (!platform::sti::SendFrame(fd, reply.Body())) return false;
    }
}

}  // namespace imgsvc
