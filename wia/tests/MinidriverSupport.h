// What the minidriver tests share: the module bound through its exports, a
// device control of the service's kind, a device key with "DeviceData", and
// the fake scanner library.
#pragma once

#include "FakeScannerState.h"

#include <objbase.h>
#include <stiusd.h>
#include <wiamindr.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace wiatest {

inline constexpr CLSID kDeviceClass = {0x4161996E, 0x4020, 0x4EEA, {0x8C, 0x0B, 0xAE, 0x43, 0x82, 0x53, 0xEF, 0x01}};
inline constexpr HRESULT kNotReady = static_cast<HRESULT>(0x80070015);

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT (*)();

// PelidorW.dll loaded for the test's life.
class DriverModule {
public:
    DriverModule() : module_(LoadLibraryA("PelidorW.dll")) {}
    ~DriverModule() {
        if (module_) FreeLibrary(module_);
    }
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;
    bool Loaded() const { return module_ != nullptr; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
        auto f = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        return f ? f(clsid, iid, out) : E_FAIL;
    }
    HRESULT CanUnloadNow() const {
        auto f = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
        return f ? f() : E_FAIL;
    }
    // A new device object's own unknown (aggregated when outer is given).
    IUnknown* CreateDevice(IUnknown* outer = nullptr) const {
        IClassFactory* factory = nullptr;
        if (FAILED(GetClassObject(kDeviceClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
        IUnknown* unknown = nullptr;
        factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void**>(&unknown));
        factory->Release();
        return unknown;
    }

private:
    HMODULE module_;
};

// The service's device control: a port name and an open mode.
class TestDeviceControl final : public IStiDeviceControl {
public:
    TestDeviceControl(std::wstring port, DWORD mode) : port_(std::move(port)), mode_(mode) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE Initialize(DWORD, DWORD, LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawDeviceControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD e) override {
        *e = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDevicePortName(LPWSTR path, DWORD size) override {
        if (port_.size() + 1 > size) return E_INVALIDARG;
        std::copy(port_.c_str(), port_.c_str() + port_.size() + 1, path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceHandle(LPHANDLE h) override {
        *h = INVALID_HANDLE_VALUE;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceOpenMode(LPDWORD mode) override {
        *mode = mode_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR, DWORD) override { return S_OK; }

    std::atomic<ULONG> references{1};

private:
    std::wstring port_;
    DWORD mode_;
};

// A device key under HKLM with an optional "DeviceData" "DLLName" of the
// given bytes (written exactly, so a name may lack its terminator).
class DeviceKey {
public:
    explicit DeviceKey(std::optional<std::string> dllNameBytes) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PelidorTest\\Device", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr);
        if (dllNameBytes) {
            HKEY data = nullptr;
            RegCreateKeyExA(key_, "DeviceData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &data, nullptr);
            RegSetValueExA(data, "DLLName", 0, REG_SZ, reinterpret_cast<const BYTE*>(dllNameBytes->data()),
                           static_cast<DWORD>(dllNameBytes->size()));
            RegCloseKey(data);
        }
    }
    ~DeviceKey() { RegCloseKey(key_); }
    DeviceKey(const DeviceKey&) = delete;
    DeviceKey& operator=(const DeviceKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The fake library's state; the library stays loaded while this lives.
class FakeScanner {
public:
    FakeScanner() : module_(LoadLibraryA("FakeScanner.dll")) {
        auto control = reinterpret_cast<FakeScannerControlFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "FakeScannerControl")));
        state_ = control ? control() : nullptr;
        if (state_) *state_ = FakeScannerState{};
    }
    ~FakeScanner() {
        if (module_) FreeLibrary(module_);
    }
    FakeScanner(const FakeScanner&) = delete;
    FakeScanner& operator=(const FakeScanner&) = delete;
    FakeScannerState* operator->() const { return state_; }
    bool Loaded() const { return state_ != nullptr; }

private:
    HMODULE module_;
    FakeScannerState* state_ = nullptr;
};

// The device object's IStiUSD, initialised for a mode with a device key.
struct InitializedDriver {
    InitializedDriver(const DriverModule& module, DWORD mode, HKEY key,
                      std::wstring port = L"\\\\.\\usbscan9")
        : control(std::move(port), mode) {
        IUnknown* unknown = module.CreateDevice();
        if (unknown) {
            unknown->QueryInterface(IID_IStiUSD, reinterpret_cast<void**>(&driver));
            unknown->Release();
        }
        if (driver) initializeResult = driver->Initialize(&control, STI_VERSION, key);
    }
    ~InitializedDriver() {
        if (driver) driver->Release();
    }
    InitializedDriver(const InitializedDriver&) = delete;
    InitializedDriver& operator=(const InitializedDriver&) = delete;

    TestDeviceControl control;
    IStiUSD* driver = nullptr;
    HRESULT initializeResult = E_FAIL;
};

}  // namespace wiatest
