#include "sti/StiDeviceProxy.h"

#include <usbscan.h>
#include <winbase.h>

#include <algorithm>
#include <cstring>

namespace platform::sti {
namespace {

// The host is gone: the device is no longer reachable.
constexpr HRESULT kHostGone = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);

Writer Request(Op op) {
    Writer w;
    w.U32(static_cast<uint32_t>(op));
    return w;
}

// Overlapped callers get their block completed before the call returns.
void CompleteCallerBlock(LPOVERLAPPED overlapped, HRESULT result, DWORD count) {
    if (overlapped == nullptr) return;
    overlapped->Internal = static_cast<ULONG_PTR>(static_cast<DWORD>(result));
    overlapped->InternalHigh = count;
    if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
}

}  // namespace

StiDeviceProxy* StiDeviceProxy::Open(const std::wstring& internalName, DWORD mode, HRESULT* result) {
    auto* proxy = new StiDeviceProxy;
    if (!proxy->connection_.Connected()) {
        *result = kHostGone;
        proxy->Release();
        return nullptr;
    }
    Writer open = Request(Op::Open);
    open.WString(internalName).U32(mode);
    *result = proxy->Call(open, nullptr, nullptr);
    if (FAILED(*result)) {
        proxy->Release();
        return nullptr;
    }
    return proxy;
}

HRESULT StiDeviceProxy::Call(const Writer& request, std::vector<uint8_t>* reply, std::unique_ptr<Reader>* reader) {
    auto answer = connection_.Call(request);
    if (!answer) return kHostGone;
    std::vector<uint8_t> local;
    std::vector<uint8_t>& body = reply ? *reply : local;
    body = std::move(*answer);
    auto parsed = std::make_unique<Reader>(body);
    const HRESULT result = parsed->I32();
    if (!parsed->Ok()) return kHostGone;
    if (reader) *reader = std::move(parsed);
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE StiDeviceProxy::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE StiDeviceProxy::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::Initialize(HINSTANCE, LPCWSTR, DWORD, DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE StiDeviceProxy::GetCapabilities(PSTI_DEV_CAPS caps) {
    if (caps == nullptr) return E_INVALIDARG;
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(Request(Op::GetCapabilities), &body, &r);
    if (SUCCEEDED(result)) caps->dwGeneric = r->U32();
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::GetStatus(PSTI_DEVICE_STATUS status) {
    if (status == nullptr) return E_INVALIDARG;
    Writer w = Request(Op::GetStatus);
    w.U32(status->StatusMask);
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(w, &body, &r);
    if (SUCCEEDED(result)) {
        status->dwOnlineState = r->U32();
        status->dwHardwareStatusCode = r->U32();
        status->dwEventHandlingState = r->U32();
        status->dwPollingInterval = r->U32();
    }
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::DeviceReset() { return Call(Request(Op::DeviceReset), nullptr, nullptr); }

HRESULT STDMETHODCALLTYPE StiDeviceProxy::Diagnostic(LPSTI_DIAG diag) {
    if (diag == nullptr) return E_INVALIDARG;
    Writer w = Request(Op::Diagnostic);
    w.U32(diag->dwBasicDiagCode).U32(diag->dwVendorDiagCode);
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(w, &body, &r);
    if (r) {
        diag->dwStatusMask = r->U32();
        diag->sErrorInfo.dwGenericError = r->U32();
        diag->sErrorInfo.dwVendorError = r->U32();
        const std::wstring text = r->WString();
        const size_t n = std::min<size_t>(text.size(), 254);
        std::copy_n(text.begin(), n, diag->sErrorInfo.szExtendedErrorText);
        diag->sErrorInfo.szExtendedErrorText[n] = L'\0';
    }
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::Escape(STI_RAW_CONTROL_CODE code, LPVOID in, DWORD inSize, LPVOID out,
                                                 DWORD outSize, LPDWORD returned) {
    if ((in == nullptr && inSize != 0) || outSize > kMaxTransfer || inSize > kMaxTransfer) return E_INVALIDARG;
    Writer w = Request(Op::Escape);
    w.U32(code).Bytes({static_cast<const uint8_t*>(in), in ? inSize : 0});
    w.U32(out ? outSize : 0).U8(returned != nullptr ? 1 : 0);
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(w, &body, &r);
    if (r) {
        const DWORD count = r->U32();
        const std::vector<uint8_t> data = r->Bytes();
        const size_t n = std::min<size_t>(data.size(), outSize);
        if (out != nullptr && n > 0) std::memcpy(out, data.data(), n);
        if (returned != nullptr && SUCCEEDED(result)) *returned = count;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::GetLastError(LPDWORD lastError) {
    if (lastError == nullptr) return E_INVALIDARG;
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(Request(Op::GetLastError), &body, &r);
    if (SUCCEEDED(result)) *lastError = r->U32();
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::LockDevice(DWORD timeout) {
    Writer w = Request(Op::LockDevice);
    w.U32(timeout);
    return Call(w, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::UnLockDevice() { return Call(Request(Op::UnLockDevice), nullptr, nullptr); }

HRESULT STDMETHODCALLTYPE StiDeviceProxy::RawReadData(LPVOID buffer, LPDWORD length, LPOVERLAPPED overlapped) {
    if (buffer == nullptr || length == nullptr || *length > kMaxTransfer) return E_INVALIDARG;
    Writer w = Request(Op::RawReadData);
    w.U32(*length);
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(w, &body, &r);
    DWORD count = 0;
    if (SUCCEEDED(result)) {
        const std::vector<uint8_t> data = r->Bytes();
        count = static_cast<DWORD>(std::min<size_t>(data.size(), *length));
        if (count > 0) std::memcpy(buffer, data.data(), count);
        *length = count;
    }
    CompleteCallerBlock(overlapped, result, count);
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::RawWriteData(LPVOID buffer, DWORD length, LPOVERLAPPED overlapped) {
    if ((buffer == nullptr && length != 0) || length > kMaxTransfer) return E_INVALIDARG;
    Writer w = Request(Op::RawWriteData);
    w.Bytes({static_cast<const uint8_t*>(buffer), length});
    const HRESULT result = Call(w, nullptr, nullptr);
    CompleteCallerBlock(overlapped, result, SUCCEEDED(result) ? length : 0);
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::RawReadCommand(LPVOID ioBlock, LPDWORD length, LPOVERLAPPED overlapped) {
    if (ioBlock == nullptr) return E_INVALIDARG;
    const auto* block = static_cast<const IO_BLOCK*>(ioBlock);
    if (block->uLength > kMaxTransfer || (block->pbyData == nullptr && block->uLength != 0)) return E_INVALIDARG;
    Writer w = Request(Op::RawReadCommand);
    w.U32(block->uOffset).U32(block->uLength).U32(block->uIndex);
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(w, &body, &r);
    DWORD count = 0;
    if (SUCCEEDED(result)) {
        const std::vector<uint8_t> data = r->Bytes();
        count = static_cast<DWORD>(std::min<size_t>(data.size(), block->uLength));
        if (count > 0) std::memcpy(block->pbyData, data.data(), count);
        if (length != nullptr) *length = count;
    }
    CompleteCallerBlock(overlapped, result, count);
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::RawWriteCommand(LPVOID ioBlock, DWORD, LPOVERLAPPED overlapped) {
    if (ioBlock == nullptr) return E_INVALIDARG;
    const auto* block = static_cast<const IO_BLOCK*>(ioBlock);
    if (block->uLength > kMaxTransfer || (block->pbyData == nullptr && block->uLength != 0)) return E_INVALIDARG;
    Writer w = Request(Op::RawWriteCommand);
    w.U32(block->uOffset).U32(block->uIndex).Bytes({block->pbyData, block->uLength});
    const HRESULT result = Call(w, nullptr, nullptr);
    CompleteCallerBlock(overlapped, result, SUCCEEDED(result) ? block->uLength : 0);
    return result;
}

HRESULT STDMETHODCALLTYPE StiDeviceProxy::Subscribe(LPSTISUBSCRIBE) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE StiDeviceProxy::GetLastNotificationData(LPSTINOTIFY) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE StiDeviceProxy::UnSubscribe() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE StiDeviceProxy::GetLastErrorInfo(STI_ERROR_INFO* info) {
    if (info == nullptr) return E_INVALIDARG;
    std::vector<uint8_t> body;
    std::unique_ptr<Reader> r;
    const HRESULT result = Call(Request(Op::GetLastErrorInfo), &body, &r);
    if (SUCCEEDED(result)) {
        info->dwSize = sizeof *info;
        info->dwGenericError = r->U32();
        info->dwVendorError = r->U32();
        const std::wstring text = r->WString();
        const size_t n = std::min<size_t>(text.size(), 254);
        std::copy_n(text.begin(), n, info->szExtendedErrorText);
        info->szExtendedErrorText[n] = L'\0';
    }
    return result;
}

}  // namespace platform::sti
