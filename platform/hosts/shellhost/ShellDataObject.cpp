#include "ShellDataObject.h"

#include <windows.h>

#include <cstring>

namespace shellhost {
namespace {

constexpr HRESULT kBadFormat = static_cast<HRESULT>(0x80040064);  // DV_E_FORMATETC

}  // namespace

ShellDataObject* ShellDataObject::ForItem(IWiaItem* root) {
    auto* object = new ShellDataObject;
    object->root_ = root;
    if (root) root->AddRef();
    return object;
}

ShellDataObject* ShellDataObject::ForNames(const std::vector<std::wstring>& names) {
    auto* object = new ShellDataObject;
    object->hasNames_ = true;
    for (const auto& name : names) {
        object->names_.insert(object->names_.end(), name.begin(), name.end());
        object->names_.push_back(L'\0');
    }
    object->names_.push_back(L'\0');
    return object;
}

ShellDataObject::~ShellDataObject() {
    if (root_) root_->Release();
}

STDMETHODIMP ShellDataObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
        *ppv = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    // The shell's device objects hand out the device's item this way.
    if (root_ != nullptr && IsEqualIID(riid, IID_IWiaItem)) return root_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ShellDataObject::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) ShellDataObject::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

bool ShellDataObject::Serves(const FORMATETC* format) const {
    return hasNames_ && format != nullptr && format->cfFormat == RegisterClipboardFormatA("WIAItemNames") &&
           (format->tymed & TYMED_HGLOBAL) != 0;
}

STDMETHODIMP ShellDataObject::QueryGetData(FORMATETC* format) { return Serves(format) ? S_OK : kBadFormat; }

STDMETHODIMP ShellDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (medium == nullptr) return E_INVALIDARG;
    if (!Serves(format)) return kBadFormat;
    const size_t bytes = names_.size() * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) return E_OUTOFMEMORY;
    std::memcpy(GlobalLock(block), names_.data(), bytes);
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

}  // namespace shellhost
