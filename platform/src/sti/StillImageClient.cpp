// StiCreateInstanceW and the Still Image client: the device list from the
// installed image devices, their values under the driver key's
// "DeviceData", and devices opened through the service host.
#include "core/Controls.h"
#include "sti/StiDeviceProxy.h"
#include "sti/StillImageDevices.h"

#include <sti.h>
#include <winbase.h>
#include <winreg.h>

#include <atomic>
#include <cstring>

namespace platform::sti {
namespace {

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// Opens "DeviceData" of the device's driver key.
HRESULT OpenDeviceData(LPCWSTR deviceName, REGSAM access, HKEY* key) {
    *key = nullptr;
    if (deviceName == nullptr) return E_INVALIDARG;
    auto device = FindDevice(deviceName);
    if (!device) return kNotFound;
    const std::string path = device->driverKeyPath + "\\DeviceData";
    const LONG opened = (access & KEY_SET_VALUE)
                            ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, access, nullptr, key,
                                              nullptr)
                            : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key);
    return opened == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(opened);
}

class StillImageClient final : public IStillImageW {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (ppvObject == nullptr) return E_INVALIDARG;
        *ppvObject = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppvObject = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return S_OK; }

    // One block: the records, then their strings.
    HRESULT STDMETHODCALLTYPE GetDeviceList(DWORD, DWORD, DWORD* pdwItemsReturned, LPVOID* ppBuffer) override {
        if (pdwItemsReturned == nullptr || ppBuffer == nullptr) return E_POINTER;
        *ppBuffer = nullptr;
        const auto devices = InstalledDevices();
        size_t strings = 0;
        for (const auto& d : devices) {
            strings += d.vendorDescription.size() + d.deviceDescription.size() + d.portName.size() +
                       d.friendlyName.size() + 4;
        }
        const size_t records = (devices.empty() ? 1 : devices.size()) * sizeof(STI_DEVICE_INFORMATIONW);
        auto* block = static_cast<uint8_t*>(LocalAlloc(LPTR, records + strings * sizeof(WCHAR)));
        if (block == nullptr) return E_OUTOFMEMORY;
        auto* info = reinterpret_cast<STI_DEVICE_INFORMATIONW*>(block);
        auto* text = reinterpret_cast<WCHAR*>(block + records);
        auto place = [&text](const std::wstring& s) {
            WCHAR* start = text;
            std::memcpy(text, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
            text += s.size() + 1;
            return start;
        };
        for (size_t i = 0; i < devices.size(); ++i) {
            const auto& d = devices[i];
            info[i].dwSize = sizeof(STI_DEVICE_INFORMATIONW);
            info[i].DeviceType = d.deviceType;
            const size_t n = std::min<size_t>(d.internalName.size(), STI_MAX_INTERNAL_NAME_LENGTH - 1);
            std::memcpy(info[i].szDeviceInternalName, d.internalName.c_str(), n * sizeof(WCHAR));
            info[i].DeviceCapabilitiesA.dwGeneric = 0;
            info[i].pszVendorDescription = place(d.vendorDescription);
            info[i].pszDeviceDescription = place(d.deviceDescription);
            info[i].pszPortName = place(d.portName);
            info[i].pszLocalName = place(d.friendlyName);
            info[i].pszPropProvider = nullptr;
        }
        *pdwItemsReturned = static_cast<DWORD>(devices.size());
        *ppBuffer = block;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPWSTR, LPVOID* ppBuffer) override {
        if (ppBuffer) *ppBuffer = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE CreateDevice(LPWSTR pwszDeviceName, DWORD dwMode, PSTIDEVICE* pDevice,
                                           LPUNKNOWN punkOuter) override {
        if (pDevice == nullptr || pwszDeviceName == nullptr) return E_POINTER;
        *pDevice = nullptr;
        if (punkOuter != nullptr) return CLASS_E_NOAGGREGATION;
        auto device = FindDevice(pwszDeviceName);
        if (!device) return kNotFound;
        HRESULT result = E_FAIL;
        *pDevice = StiDeviceProxy::Open(device->internalName, dwMode, &result);
        return result;
    }

    // Values as written: the type and bytes stored under "DeviceData".
    HRESULT STDMETHODCALLTYPE GetDeviceValue(LPWSTR pwszDeviceName, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                                             LPDWORD cbData) override {
        if (pValueName == nullptr || cbData == nullptr) return E_INVALIDARG;
        HKEY key = nullptr;
        const HRESULT opened = OpenDeviceData(pwszDeviceName, KEY_READ, &key);
        if (FAILED(opened)) return opened;
        DWORD type = 0;
        const LONG read = RegQueryValueExA(key, Narrow(pValueName).c_str(), nullptr, &type, pData, cbData);
        RegCloseKey(key);
        if (read != ERROR_SUCCESS) return HRESULT_FROM_WIN32(read);
        if (pType != nullptr) *pType = type;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetDeviceValue(LPWSTR pwszDeviceName, LPWSTR pValueName, DWORD Type, LPBYTE pData,
                                             DWORD cbData) override {
        if (pValueName == nullptr || (pData == nullptr && cbData != 0)) return E_INVALIDARG;
        HKEY key = nullptr;
        const HRESULT opened = OpenDeviceData(pwszDeviceName, KEY_READ | KEY_WRITE, &key);
        if (FAILED(opened)) return opened;
        const LONG written = RegSetValueExA(key, Narrow(pValueName).c_str(), 0, Type, pData, cbData);
        RegCloseKey(key);
        return written == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(written);
    }

    HRESULT STDMETHODCALLTYPE GetSTILaunchInformation(LPWSTR, DWORD*, LPWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterLaunchApplication(LPWSTR, LPWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterLaunchApplication(LPWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableHwNotifications(LPCWSTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHwNotificationState(LPCWSTR, BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RefreshDeviceBus(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LaunchApplicationForDevice(LPWSTR, LPWSTR, LPSTINOTIFY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetupDeviceParameters(PSTI_DEVICE_INFORMATIONW) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteToErrorLog(DWORD, LPCWSTR) override { return S_OK; }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace
}  // namespace platform::sti

WINBASEAPI HRESULT WINAPI StiCreateInstanceW(HINSTANCE, DWORD, IStillImageW** ppSti, LPUNKNOWN punkOuter) {
    DWORD error = 0;
    if (platform::ShouldFail("StiCreateInstanceW", &error)) return HRESULT_FROM_WIN32(error);
    if (ppSti == nullptr) return E_POINTER;
    *ppSti = nullptr;
    if (punkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (auto factory = platform::StillImageFactoryOverride()) return factory(ppSti);
    *ppSti = new platform::sti::StillImageClient;
    return S_OK;
}
