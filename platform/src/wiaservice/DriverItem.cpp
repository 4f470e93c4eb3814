#include "wiaservice/DriverItem.h"

#include <oleauto.h>

#include <algorithm>
#include <cstring>

namespace platform::wia {

std::recursive_mutex& StoreLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

bool Property::Accepts(const PropertyValue& value) const {
    if (access & WIA_PROP_RANGE) {
        if (value.vt != VT_I4 && value.vt != VT_UI4) return false;
        if (value.number < min || value.number > max) return false;
        return step <= 1 || (value.number - min) % step == 0;
    }
    if (access & WIA_PROP_LIST) {
        if (value.vt == VT_CLSID) {
            return std::any_of(guids.begin(), guids.end(), [&](const GUID& g) { return IsEqualGUID(g, value.guid); });
        }
        return std::find(list.begin(), list.end(), value.number) != list.end();
    }
    if (access & WIA_PROP_FLAG) {
        return (static_cast<ULONG>(value.number) & ~static_cast<ULONG>(validBits)) == 0;
    }
    return true;
}

DriverItem::DriverItem(LONG flags, std::wstring name, std::wstring fullName, IWiaMiniDrv* driver, LONG contextSize)
    : flags_(flags), name_(std::move(name)), fullName_(std::move(fullName)), driver_(driver),
      context_(contextSize > 0 ? static_cast<size_t>(contextSize) : 0) {}

DriverItem::~DriverItem() {
    for (DriverItem* child : children_) {
        child->parent_ = nullptr;
        child->Release();
    }
    magic_ = 0;
}

DriverItem* DriverItem::FromContext(BYTE* context) {
    auto* item = reinterpret_cast<DriverItem*>(context);
    if (item == nullptr || item->magic_ != kMagic) return nullptr;
    return item;
}

DriverItem* DriverItem::Root() {
    DriverItem* item = this;
    while (item->parent_ != nullptr) item = item->parent_;
    return item;
}

Property* DriverItem::Find(PROPID id) {
    auto it = properties_.find(id);
    return it == properties_.end() ? nullptr : &it->second;
}

Property& DriverItem::Ensure(PROPID id) { return properties_[id]; }

HRESULT STDMETHODCALLTYPE DriverItem::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaDrvItem)) return E_NOINTERFACE;
    *ppv = static_cast<IWiaDrvItem*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE DriverItem::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetItemFlags(LONG* flags) {
    if (flags == nullptr) return E_INVALIDARG;
    *flags = flags_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetDeviceSpecContext(BYTE** context) {
    if (context == nullptr) return E_INVALIDARG;
    *context = context_.empty() ? nullptr : context_.data();
    return context_.empty() ? E_INVALIDARG : S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetFullItemName(BSTR* name) {
    if (name == nullptr) return E_INVALIDARG;
    *name = SysAllocString(fullName_.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetItemName(BSTR* name) {
    if (name == nullptr) return E_INVALIDARG;
    *name = SysAllocString(name_.c_str());
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE DriverItem::AddItemToFolder(IWiaDrvItem* folder) {
    auto* parent = static_cast<DriverItem*>(folder);
    if (parent == nullptr || parent->magic_ != kMagic || parent_ != nullptr) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> lock(StoreLock());
    AddRef();
    parent->children_.push_back(this);
    parent_ = parent;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::UnlinkItemTree(LONG) {
    std::vector<DriverItem*> children;
    {
        std::lock_guard<std::recursive_mutex> lock(StoreLock());
        unlinked_ = true;
        children.swap(children_);
    }
    for (DriverItem* child : children) {
        child->UnlinkItemTree(0);
        child->parent_ = nullptr;
        child->Release();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::RemoveItemFromFolder(LONG) {
    DriverItem* parent = parent_;
    if (parent == nullptr) return S_FALSE;
    {
        std::lock_guard<std::recursive_mutex> lock(StoreLock());
        std::erase(parent->children_, this);
        parent_ = nullptr;
    }
    Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::FindItemByName(LONG, BSTR fullName, IWiaDrvItem** item) {
    if (item == nullptr || fullName == nullptr) return E_INVALIDARG;
    *item = nullptr;
    if (fullName_ == fullName) {
        AddRef();
        *item = this;
        return S_OK;
    }
    for (DriverItem* child : children_) {
        if (child->FindItemByName(0, fullName, item) == S_OK) return S_OK;
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE DriverItem::FindChildItemByName(BSTR name, IWiaDrvItem** item) {
    if (item == nullptr || name == nullptr) return E_INVALIDARG;
    *item = nullptr;
    for (DriverItem* child : children_) {
        if (child->name_ == name) {
            child->AddRef();
            *item = child;
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetParentItem(IWiaDrvItem** parent) {
    if (parent == nullptr) return E_INVALIDARG;
    *parent = parent_;
    if (parent_ == nullptr) return S_FALSE;
    parent_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetFirstChildItem(IWiaDrvItem** child) {
    if (child == nullptr) return E_INVALIDARG;
    *child = nullptr;
    if (children_.empty()) return S_FALSE;
    children_.front()->AddRef();
    *child = children_.front();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::GetNextSiblingItem(IWiaDrvItem** sibling) {
    if (sibling == nullptr) return E_INVALIDARG;
    *sibling = nullptr;
    if (parent_ == nullptr) return S_FALSE;
    auto& list = parent_->children_;
    auto it = std::find(list.begin(), list.end(), this);
    if (it == list.end() || ++it == list.end()) return S_FALSE;
    (*it)->AddRef();
    *sibling = *it;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DriverItem::DumpItemData(BSTR* data) {
    if (data == nullptr) return E_INVALIDARG;
    *data = SysAllocString(fullName_.c_str());
    return S_OK;
}

}  // namespace platform::wia
