// Data objects as the shell hands them to the extension: one carrying an
// item (any interface answering IID_IWiaItem), or a "WIAItemNames" block of
// given bytes.
#pragma once

#include <objidl.h>
#include <wia.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace propext_test {

class TestDataObject final : public IDataObject {
public:
    // The block's bytes as given (the test decides where the terminators are).
    static TestDataObject* WithBlock(std::vector<wchar_t> block) {
        auto* object = new TestDataObject;
        object->block_ = std::move(block);
        object->hasBlock_ = true;
        return object;
    }
    // Names each ended by a zero, then the empty name.
    static TestDataObject* WithNames(const std::vector<std::wstring>& names) {
        std::vector<wchar_t> block;
        for (const auto& n : names) {
            block.insert(block.end(), n.begin(), n.end());
            block.push_back(L'\0');
        }
        block.push_back(L'\0');
        return WithBlock(std::move(block));
    }
    static TestDataObject* WithItem(IUnknown* item) {
        auto* object = new TestDataObject;
        object->item_ = item;
        if (item) item->AddRef();
        return object;
    }
    static TestDataObject* Empty() { return new TestDataObject; }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        if (item_ != nullptr && IsEqualIID(riid, IID_IWiaItem)) {
            *ppv = item_;
            item_->AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override {
        ++getDataCalls;
        if (!hasBlock_ || format == nullptr || medium == nullptr) return DV_E_FORMATETC_VALUE;
        if (format->cfFormat != RegisterClipboardFormatA("WIAItemNames") || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC_VALUE;
        const size_t bytes = block_.size() * sizeof(wchar_t);
        HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, bytes);
        if (bytes != 0) std::memcpy(GlobalLock(global), block_.data(), bytes);
        if (bytes != 0) GlobalUnlock(global);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = global;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

    int getDataCalls = 0;

private:
    TestDataObject() = default;
    ~TestDataObject() {
        if (item_) item_->Release();
    }

    static constexpr HRESULT DV_E_FORMATETC_VALUE = static_cast<HRESULT>(0x80040064);

    std::atomic<ULONG> refs_{1};
    IUnknown* item_ = nullptr;
    bool hasBlock_ = false;
    std::vector<wchar_t> block_;
};

}  // namespace propext_test
