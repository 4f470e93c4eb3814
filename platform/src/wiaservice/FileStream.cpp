#include "wiaservice/FileStream.h"

#include <cstring>
#include <new>

namespace platform::wia {

FileStream* FileStream::Create(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    auto* stream = new (std::nothrow) FileStream(file);
    if (stream == nullptr) CloseHandle(file);
    return stream;
}

FileStream::~FileStream() { CloseHandle(file_); }

HRESULT STDMETHODCALLTYPE FileStream::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_ISequentialStream) && !IsEqualIID(riid, IID_IStream)) {
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FileStream::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE FileStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    DWORD read = 0;
    if (!ReadFile(file_, pv, cb, &read, nullptr)) return HRESULT_FROM_WIN32(::GetLastError());
    if (pcbRead) *pcbRead = read;
    return read == cb ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE FileStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    DWORD written = 0;
    if (!WriteFile(file_, pv, cb, &written, nullptr)) return HRESULT_FROM_WIN32(::GetLastError());
    if (pcbWritten) *pcbWritten = written;
    return written == cb ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT STDMETHODCALLTYPE FileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    LONG high = static_cast<LONG>(move.QuadPart >> 32);
    const DWORD low = SetFilePointer(file_, static_cast<LONG>(move.QuadPart & 0xFFFFFFFF), &high, origin);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return HRESULT_FROM_WIN32(::GetLastError());
    if (position) position->QuadPart = (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | low;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileStream::Stat(STATSTG* stat, DWORD) {
    if (stat == nullptr) return E_INVALIDARG;
    std::memset(stat, 0, sizeof *stat);
    DWORD high = 0;
    const DWORD low = GetFileSize(file_, &high);
    stat->type = 2;
    stat->cbSize.QuadPart = (static_cast<ULONGLONG>(high) << 32) | low;
    return S_OK;
}

}  // namespace platform::wia
