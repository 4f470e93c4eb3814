// A WIA device as the image-acquisition service holds it, in this test's
// process: a virtual scanner served as \\.\usbscan0, its Still Image entry,
// the minidriver's monitor instance initialised with a device control, and
// the service's side of the device over it. The protocol log is checked at
// the end.
#pragma once

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>
#include <platform/wia_service.h>

#include <stiusd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace wiadevice {

// The service's IStiDeviceControl: a port name and an open mode.
class TestDeviceControl final : public IStiDeviceControl {
public:
    TestDeviceControl(std::wstring port, DWORD mode) : port_(std::move(port)), mode_(mode) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(DWORD, DWORD, LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RawReadData(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteData(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawReadCommand(LPVOID, LPDWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawWriteCommand(LPVOID, DWORD, LPOVERLAPPED) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RawDeviceControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetLastError(LPDWORD error) override {
        if (error) *error = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDevicePortName(LPWSTR path, DWORD size) override {
        if (path == nullptr || size <= port_.size()) return E_INVALIDARG;
        std::copy(port_.begin(), port_.end(), path);
        path[port_.size()] = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceHandle(LPHANDLE handle) override {
        if (handle) *handle = INVALID_HANDLE_VALUE;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMyDeviceOpenMode(LPDWORD mode) override {
        if (mode) *mode = mode_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR, DWORD) override { return S_OK; }

private:
    ~TestDeviceControl() = default;
    std::atomic<ULONG> references_{1};
    std::wstring port_;
    DWORD mode_;
};

struct SheetOptions {
    double widthInches = 4.0;
    double lengthInches = 3.0;
};

// A gray sheet with a bar pattern (PGM at 600 dpi) under the test's root.
std::filesystem::path WriteSheet(const std::string& name, const SheetOptions& options = {});

struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    uint16_t depth = 0;
    uint32_t fileSize = 0;
    uint32_t dataOffset = 0;
    uint32_t imageSize = 0;
    size_t bytes = 0;  // the file's length
    std::vector<uint8_t> data;  // rows as stored
};
// False when the file isn't a BMP with a 40-byte information header.
bool ReadBitmap(const std::string& path, Bitmap* bitmap);

class WiaDeviceTest : public ::testing::Test {
protected:
    void TearDown() override;

    // Serves `board`, installs it and opens the driver's monitor instance
    // and the service's side. Windows 6.1 gives WIA 2, 5.1 WIA 1.
    void Open(const char* board, DWORD windowsMajor, DWORD windowsMinor,
              const emulator::SwitchOverrides& switches = {{"speed", "8"}});
    // Writes a "DeviceData" value of the installed device.
    void SetDeviceValue(const char* name, DWORD value);
    void SetDeviceText(const char* name, const char* value);
    // Only the driver object, released (threads joined) now.
    void CloseDriver();

    emulator::VirtualScanner& Scanner() { return *scanner_; }
    platform::wia::DeviceService& Service() { return *service_; }
    IStiUSD* Driver() { return driver_; }
    std::string Prefix(const char* name) const;

    std::unique_ptr<emulator::VirtualScanner> scanner_;
    std::unique_ptr<platform::wia::DeviceService> service_;
    IStiUSD* driver_ = nullptr;
    std::string driverKeyPath_;
};

}  // namespace wiadevice
