// The data object the shell hands to an image device's extensions: the
// device's root item, or the "WIAItemNames" block naming the device.
#pragma once

#include <objidl.h>
#include <wia.h>

#include <atomic>
#include <string>
#include <vector>

namespace shellhost {

class ShellDataObject final : public IDataObject {
public:
    static ShellDataObject* ForItem(IWiaItem* root);
    static ShellDataObject* ForNames(const std::vector<std::wstring>& names);

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC* format) override;
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    ShellDataObject() = default;
    ~ShellDataObject();
    bool Serves(const FORMATETC* format) const;

    std::atomic<ULONG> refs_{1};
    IWiaItem* root_ = nullptr;
    bool hasNames_ = false;
    std::vector<wchar_t> names_;
};

}  // namespace shellhost
