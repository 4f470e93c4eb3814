// The device manager proxy: the device list and devices created by
// identifier come from the service host over one connection that the
// manager and every item it hands out share.
#include "wiaservice/DeviceManagerProxy.h"

#include "wiaservice/ItemProxy.h"
#include "wiaservice/PropertyVariants.h"

#include <platform/wia_service.h>

#include <objbase.h>
#include <wia.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

namespace platform::wia {
namespace {

// The device-information properties: identifier, name, value.
struct InfoProperty {
    PROPID id;
    const wchar_t* name;
};
constexpr InfoProperty kInfoProperties[] = {
    {WIA_DIP_DEV_ID, L"Unique Device ID"}, {WIA_DIP_VEND_DESC, L"Manufacturer"},
    {WIA_DIP_DEV_DESC, L"Description"},    {WIA_DIP_DEV_TYPE, L"Type"},
    {WIA_DIP_PORT_NAME, L"Port"},          {WIA_DIP_DEV_NAME, L"Name"},
    {WIA_DIP_SERVER_NAME, L"Server"},
};

// One device's information: read-only values kept in the application.
class DeviceInfo final : public PropertyStorageStubs {
public:
    explicit DeviceInfo(const DeviceEntry& device) {
        Text(WIA_DIP_DEV_ID, device.name);
        Text(WIA_DIP_VEND_DESC, device.vendor);
        Text(WIA_DIP_DEV_DESC, device.deviceDescription);
        PropertyData type;
        type.vt = VT_I4;
        // The Still Image type in the high word, the subtype (0) below.
        type.number = static_cast<LONG>(device.type << 16);
        values_[WIA_DIP_DEV_TYPE] = type;
        Text(WIA_DIP_PORT_NAME, device.port);
        Text(WIA_DIP_DEV_NAME, device.description);
        Text(WIA_DIP_SERVER_NAME, L"local");
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaPropertyStorage)) return E_NOINTERFACE;
        *ppv = static_cast<IWiaPropertyStorage*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG count, const PROPSPEC properties[], PROPVARIANT values[]) override {
        if (count == 0) return S_FALSE;
        if (properties == nullptr || values == nullptr) return E_INVALIDARG;
        std::memset(values, 0, count * sizeof(PROPVARIANT));
        bool any = false;
        for (ULONG i = 0; i < count; ++i) {
            const PropertyData* found = Find(properties[i]);
            if (found == nullptr) continue;
            const HRESULT converted = ToVariant(*found, &values[i]);
            if (FAILED(converted)) {
                for (ULONG k = 0; k < i; ++k) PropVariantClear(&values[k]);
                return converted;
            }
            any = true;
        }
        return any ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG, const PROPSPEC[], const PROPVARIANT[], PROPID) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG count, PROPSPEC properties[], ULONG flags[],
                                                    PROPVARIANT values[]) override {
        if (count == 0) return S_FALSE;
        if (properties == nullptr || flags == nullptr || values == nullptr) return E_INVALIDARG;
        std::memset(values, 0, count * sizeof(PROPVARIANT));
        bool any = false;
        for (ULONG i = 0; i < count; ++i) {
            const bool found = Find(properties[i]) != nullptr;
            flags[i] = found ? WIA_PROP_READ | WIA_PROP_NONE : 0;
            any = any || found;
        }
        return any ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = static_cast<ULONG>(values_.size());
        return S_OK;
    }

private:
    ~DeviceInfo() = default;

    void Text(PROPID id, const std::wstring& text) {
        PropertyData value;
        value.vt = VT_BSTR;
        value.text = text;
        values_[id] = value;
    }

    const PropertyData* Find(const PROPSPEC& property) const {
        PropertyData selector;
        if (FAILED(SelectorOf(property, &selector))) return nullptr;
        PROPID id = selector.id;
        if (!selector.name.empty()) {
            id = 0;
            for (const InfoProperty& p : kInfoProperties) {
                if (selector.name == p.name) id = p.id;
            }
        }
        auto it = values_.find(id);
        return it == values_.end() ? nullptr : &it->second;
    }

    std::atomic<ULONG> references_{1};
    std::map<PROPID, PropertyData> values_;
};

// The devices' information, in the host's order.
class DeviceInfoList final : public IEnumWIA_DEV_INFO {
public:
    explicit DeviceInfoList(std::vector<DeviceEntry> devices) : devices_(std::move(devices)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumWIA_DEV_INFO)) return E_NOINTERFACE;
        *ppv = static_cast<IEnumWIA_DEV_INFO*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IWiaPropertyStorage** items, ULONG* fetched) override {
        if (items == nullptr || (fetched == nullptr && count != 1)) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < count && next_ < devices_.size(); ++n, ++next_) {
            items[n] = new (std::nothrow) DeviceInfo(devices_[next_]);
            if (items[n] == nullptr) {
                for (ULONG k = 0; k < n; ++k) items[k]->Release();
                if (fetched) *fetched = 0;
                return E_OUTOFMEMORY;
            }
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const size_t left = devices_.size() - next_;
        next_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWIA_DEV_INFO** copy) override {
        if (copy == nullptr) return E_INVALIDARG;
        auto* list = new (std::nothrow) DeviceInfoList(devices_);
        *copy = list;
        if (list == nullptr) return E_OUTOFMEMORY;
        list->next_ = next_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = static_cast<ULONG>(devices_.size());
        return S_OK;
    }

private:
    ~DeviceInfoList() = default;
    std::atomic<ULONG> references_{1};
    std::vector<DeviceEntry> devices_;
    size_t next_ = 0;
};

class DeviceManager final : public IWiaDevMgr {
public:
    explicit DeviceManager(std::shared_ptr<ServiceClient> client) : client_(std::move(client)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaDevMgr)) return E_NOINTERFACE;
        *ppv = static_cast<IWiaDevMgr*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO** enumerator) override {
        if (enumerator == nullptr) return E_INVALIDARG;
        *enumerator = new (std::nothrow) DeviceInfoList(client_->Devices());
        return *enumerator ? S_OK : E_OUTOFMEMORY;
    }

    // The root item of a device the host serves.
    HRESULT STDMETHODCALLTYPE CreateDevice(BSTR deviceId, IWiaItem** root) override {
        if (root == nullptr) return E_POINTER;
        *root = nullptr;
        if (deviceId == nullptr) return E_INVALIDARG;
        LONG flags = 0;
        const HRESULT found = client_->ItemFlags(deviceId, 0, &flags);
        if (FAILED(found)) return found == E_FAIL ? found : WIA_S_NO_DEVICE_AVAILABLE;
        *root = new (std::nothrow) ItemProxy(client_, deviceId, 0);
        return *root ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND, LONG, LONG, BSTR* deviceId, IWiaItem** root) override {
        if (deviceId) *deviceId = nullptr;
        if (root) *root = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND, LONG, LONG, BSTR* deviceId) override {
        if (deviceId) *deviceId = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetImageDlg(HWND, LONG, LONG, LONG, IWiaItem*, BSTR, GUID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR, BSTR, BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG, BSTR, const GUID*, IWiaEventCallback*,
                                                             IUnknown** eventObject) override {
        if (eventObject) *eventObject = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR, BSTR,
                                                         BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND, LONG) override { return E_NOTIMPL; }

private:
    ~DeviceManager() = default;
    std::atomic<ULONG> references_{1};
    std::shared_ptr<ServiceClient> client_;
};

// Each instance gets its own connection to the host (started on demand).
class DeviceManagerFactory final : public IClassFactory {
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
        auto client = std::make_shared<ServiceClient>();
        if (!client->Connected()) return CO_E_SERVER_EXEC_FAILURE;
        auto* manager = new (std::nothrow) DeviceManager(std::move(client));
        if (manager == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = manager->QueryInterface(riid, ppv);
        manager->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

HRESULT GetDeviceManagerClassObject(REFIID riid, void** ppv) {
    static DeviceManagerFactory factory;
    return factory.QueryInterface(riid, ppv);
}

}  // namespace platform::wia
