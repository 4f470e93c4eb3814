#include "wiaservice/ItemProxy.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <new>
#include <vector>

namespace platform::wia {
namespace {

// The children of an item, handed out in order.
class ItemList final : public IEnumWiaItem {
public:
    explicit ItemList(std::vector<IWiaItem*> items) : items_(std::move(items)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumWiaItem)) return E_NOINTERFACE;
        *ppv = static_cast<IEnumWiaItem*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IWiaItem** items, ULONG* fetched) override {
        if (items == nullptr || (fetched == nullptr && count != 1)) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            items[n] = items_[next_];
            items[n]->AddRef();
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const size_t left = items_.size() - next_;
        next_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWiaItem** copy) override {
        if (copy == nullptr) return E_INVALIDARG;
        for (IWiaItem* item : items_) item->AddRef();
        auto* list = new (std::nothrow) ItemList(items_);
        if (list == nullptr) {
            for (IWiaItem* item : items_) item->Release();
            *copy = nullptr;
            return E_OUTOFMEMORY;
        }
        list->next_ = next_;
        *copy = list;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = static_cast<ULONG>(items_.size());
        return S_OK;
    }

private:
    ~ItemList() {
        for (IWiaItem* item : items_) item->Release();
    }
    std::atomic<ULONG> references_{1};
    std::vector<IWiaItem*> items_;
    size_t next_ = 0;
};

HRESULT NoItem(IWiaItem** item) {
    if (item) *item = nullptr;
    return E_NOTIMPL;
}

// Clears what a failed ReadMultiple or GetPropertyAttributes had filled.
void ClearValues(ULONG count, PROPVARIANT values[]) {
    for (ULONG i = 0; i < count; ++i) PropVariantClear(&values[i]);
}

}  // namespace

ItemProxy::ItemProxy(std::shared_ptr<ServiceClient> client, std::wstring device, int item)
    : client_(std::move(client)), device_(std::move(device)), item_(item) {}

HRESULT STDMETHODCALLTYPE ItemProxy::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWiaItem)) {
        *ppv = static_cast<IWiaItem*>(this);
    } else if (IsEqualIID(riid, IID_IWiaPropertyStorage)) {
        *ppv = static_cast<IWiaPropertyStorage*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE ItemProxy::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE ItemProxy::GetItemType(LONG* type) {
    if (type == nullptr) return E_INVALIDARG;
    *type = 0;
    return client_->ItemFlags(device_, item_, type);
}

HRESULT STDMETHODCALLTYPE ItemProxy::EnumChildItems(IEnumWiaItem** enumerator) {
    if (enumerator == nullptr) return E_INVALIDARG;
    *enumerator = nullptr;
    std::vector<IWiaItem*> children;
    LONG flags = 0;
    if (item_ == 0 && client_->ItemFlags(device_, 1, &flags) == S_OK) {
        auto* child = new (std::nothrow) ItemProxy(client_, device_, 1);
        if (child == nullptr) return E_OUTOFMEMORY;
        children.push_back(child);
    }
    auto* list = new (std::nothrow) ItemList(std::move(children));
    if (list == nullptr) return E_OUTOFMEMORY;
    *enumerator = list;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ItemProxy::CreateChildItem(LONG, BSTR, BSTR, IWiaItem** item) { return NoItem(item); }

HRESULT STDMETHODCALLTYPE ItemProxy::EnumRegisterEventInfo(LONG, const GUID*, IEnumWIA_DEV_CAPS** enumerator) {
    if (enumerator) *enumerator = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ItemProxy::FindItemByName(LONG, BSTR, IWiaItem** item) { return NoItem(item); }

HRESULT STDMETHODCALLTYPE ItemProxy::DeviceDlg(HWND, LONG, LONG, LONG* count, IWiaItem*** items) {
    if (count) *count = 0;
    if (items) *items = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ItemProxy::DeviceCommand(LONG, const GUID*, IWiaItem** item) { return NoItem(item); }

HRESULT STDMETHODCALLTYPE ItemProxy::GetRootItem(IWiaItem** root) {
    if (root == nullptr) return E_INVALIDARG;
    *root = new (std::nothrow) ItemProxy(client_, device_, 0);
    return *root ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE ItemProxy::EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS** enumerator) {
    if (enumerator) *enumerator = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ItemProxy::DumpItemData(BSTR* data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ItemProxy::DumpDrvItemData(BSTR* data) { return DumpItemData(data); }
HRESULT STDMETHODCALLTYPE ItemProxy::DumpTreeItemData(BSTR* data) { return DumpItemData(data); }

HRESULT STDMETHODCALLTYPE ItemProxy::ReadMultiple(ULONG count, const PROPSPEC properties[], PROPVARIANT values[]) {
    if (count == 0) return S_FALSE;
    if (properties == nullptr || values == nullptr) return E_INVALIDARG;
    std::vector<PropertyData> data(count);
    for (ULONG i = 0; i < count; ++i) {
        const HRESULT selected = SelectorOf(properties[i], &data[i]);
        if (FAILED(selected)) return selected;
    }
    const HRESULT result = client_->Read(device_, item_, &data);
    if (FAILED(result)) return result;
    std::memset(values, 0, count * sizeof(PROPVARIANT));
    for (ULONG i = 0; i < count; ++i) {
        const HRESULT converted = ToVariant(data[i], &values[i]);
        if (FAILED(converted)) {
            ClearValues(count, values);
            return converted;
        }
    }
    return result;
}

HRESULT STDMETHODCALLTYPE ItemProxy::WriteMultiple(ULONG count, const PROPSPEC properties[],
                                                   const PROPVARIANT values[], PROPID) {
    if (count == 0) return S_OK;
    if (properties == nullptr || values == nullptr) return E_INVALIDARG;
    std::vector<PropertyData> data(count);
    for (ULONG i = 0; i < count; ++i) {
        HRESULT converted = SelectorOf(properties[i], &data[i]);
        if (SUCCEEDED(converted)) converted = FromVariant(values[i], &data[i]);
        if (FAILED(converted)) return converted;
    }
    return client_->Write(device_, item_, data);
}

HRESULT STDMETHODCALLTYPE ItemProxy::GetPropertyAttributes(ULONG count, PROPSPEC properties[], ULONG flags[],
                                                           PROPVARIANT values[]) {
    if (count == 0) return S_FALSE;
    if (properties == nullptr || flags == nullptr || values == nullptr) return E_INVALIDARG;
    std::vector<PropertyData> which(count);
    for (ULONG i = 0; i < count; ++i) {
        const HRESULT selected = SelectorOf(properties[i], &which[i]);
        if (FAILED(selected)) return selected;
    }
    std::vector<PropertyInfo> infos;
    std::vector<bool> found;
    const HRESULT result = client_->Attributes(device_, item_, which, &infos, &found);
    if (FAILED(result)) return result;
    std::memset(values, 0, count * sizeof(PROPVARIANT));
    bool any = false;
    for (ULONG i = 0; i < count; ++i) {
        flags[i] = 0;
        if (!found[i]) continue;
        any = true;
        const HRESULT converted = AttributesToVariant(infos[i], &flags[i], &values[i]);
        if (FAILED(converted)) {
            ClearValues(count, values);
            return converted;
        }
    }
    return any ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ItemProxy::GetCount(ULONG* count) {
    if (count) *count = 0;
    return E_NOTIMPL;
}

}  // namespace platform::wia
