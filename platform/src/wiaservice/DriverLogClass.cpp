// The WIA log object: each driver initialises its object with its module
// instance, and every line it logs is appended to one plain text file of
// the machine, tagged with the driver's module name and the line's kind.
#include "DriverLogClass.h"

#include <objbase.h>
#include <oleauto.h>
#include <platform/wia_service.h>
#include <wiamindr.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>

namespace platform::wia {
namespace {

std::atomic<bool> served{false};

std::mutex& FileMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Appends one line (CR LF added) to the log file; the file is opened per
// line, so other processes may read it while the host runs.
void AppendLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(FileMutex());
    HANDLE file = CreateFileA(kDriverLogFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Narrow(const WCHAR* text) {
    std::string out;
    if (text == nullptr) return out;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return out;
    out.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

// The most severe kind among the flags; a line without a kind is a trace.
const char* KindOf(LONG flags) {
    if ((flags & WIALOG_ERROR) != 0) return "ERROR";
    if ((flags & WIALOG_WARNING) != 0) return "WARNING";
    return "TRACE";
}

class DriverLog final : public IWiaLog {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaLog)) return E_NOINTERFACE;
        *ppv = static_cast<IWiaLog*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // The instance handle names the driver's lines; a handle that names no
    // module (or one cut to 32 bits) leaves the number as the name.
    HRESULT STDMETHODCALLTYPE InitializeLog(LONG hInstance) override {
        char path[MAX_PATH + 1] = {};
        const DWORD length = hInstance == 0 ? 0
            : GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<intptr_t>(hInstance)), path, MAX_PATH);
        std::string name;
        if (length > 0 && length < MAX_PATH) {
            name.assign(path, length);
            const size_t slash = name.find_last_of("\\/");
            if (slash != std::string::npos) name.erase(0, slash + 1);
        } else {
            char number[16];
            std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hInstance)));
            name = number;
        }
        {
            std::lock_guard<std::mutex> lock(nameMutex_);
            name_ = name;
        }
        AppendLine(Name() + " INIT log opened");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE hResult(HRESULT hr) override {
        char text[48];
        std::snprintf(text, sizeof text, " HRESULT 0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
        AppendLine(Name() + text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Log(LONG lFlags, LONG lResID, LONG lDetail, BSTR bstrText) override {
        AppendLine(Name() + " " + KindOf(lFlags) + " " + std::to_string(lDetail) + " " + std::to_string(lResID) + " " +
                   Narrow(bstrText));
        return S_OK;
    }

private:
    ~DriverLog() = default;
    std::string Name() {
        std::lock_guard<std::mutex> lock(nameMutex_);
        return name_;
    }
    std::atomic<ULONG> references_{1};
    std::mutex nameMutex_;
    std::string name_ = "driver";
};

class DriverLogFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // One object for the process's life.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* log = new (std::nothrow) DriverLog;
        if (log == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = log->QueryInterface(riid, ppv);
        log->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

void ServeDriverLogClass() { served = true; }

bool DriverLogClassServed() { return served.load(); }

HRESULT GetDriverLogClassObject(REFIID riid, void** ppv) {
    static DriverLogFactory factory;
    return factory.QueryInterface(riid, ppv);
}

}  // namespace platform::wia
