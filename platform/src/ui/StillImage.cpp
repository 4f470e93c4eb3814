// StiCreateInstanceW until the Still Image client exists: a test-installed
// factory, else a client that knows no devices.
#include "core/Controls.h"

#include <sti.h>
#include <winbase.h>

#include <atomic>

namespace platform {
namespace {

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

class EmptyStillImage final : public IStillImageW {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppvObject) override {
        if (ppvObject) *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceList(DWORD, DWORD, DWORD* pdwItemsReturned, LPVOID* ppBuffer) override {
        if (pdwItemsReturned == nullptr || ppBuffer == nullptr) return E_POINTER;
        *pdwItemsReturned = 0;
        *ppBuffer = LocalAlloc(LPTR, sizeof(STI_DEVICE_INFORMATIONW));
        return *ppBuffer ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPWSTR, LPVOID* ppBuffer) override {
        if (ppBuffer) *ppBuffer = nullptr;
        return kNotFound;
    }
    HRESULT STDMETHODCALLTYPE CreateDevice(LPWSTR, DWORD, PSTIDEVICE* pDevice, LPUNKNOWN) override {
        if (pDevice) *pDevice = nullptr;
        return kNotFound;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceValue(LPWSTR, LPWSTR, LPDWORD, LPBYTE, LPDWORD) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE SetDeviceValue(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE GetSTILaunchInformation(LPWSTR, DWORD*, LPWSTR) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE RegisterLaunchApplication(LPWSTR, LPWSTR) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE UnregisterLaunchApplication(LPWSTR) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE EnableHwNotifications(LPCWSTR, BOOL) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE GetHwNotificationState(LPCWSTR, BOOL*) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE RefreshDeviceBus(LPCWSTR) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE LaunchApplicationForDevice(LPWSTR, LPWSTR, LPSTINOTIFY) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE SetupDeviceParameters(PSTI_DEVICE_INFORMATIONW) override { return kNotFound; }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR) override { return kNotFound; }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace
}  // namespace platform

WINBASEAPI HRESULT WINAPI StiCreateInstanceW(HINSTANCE, DWORD, IStillImageW** ppSti, LPUNKNOWN) {
    DWORD error = 0;
    if (platform::ShouldFail("StiCreateInstanceW", &error)) return HRESULT_FROM_WIN32(error);
    if (ppSti == nullptr) return E_POINTER;
    *ppSti = nullptr;
    if (auto factory = platform::StillImageFactoryOverride()) return factory(ppSti);
    *ppSti = new platform::EmptyStillImage;
    return S_OK;
}
