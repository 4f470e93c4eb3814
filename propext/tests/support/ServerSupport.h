// PelidorU.dll loaded as the shell loads it, its exports, and small COM
// helpers for the tests of the server and its shell extension.
#pragma once

#include <objbase.h>
#include <shobjidl.h>
#include <sti.h>
#include <wia.h>
#include <wiadevd.h>
#include <windows.h>

#include <platform/com_holder.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace propext_test {

inline constexpr CLSID kShellExtClass = {0xAF7753A8, 0x95B7, 0x4109, {0xAA, 0x58, 0x94, 0x01, 0xDD, 0x9A, 0x89, 0x70}};
inline constexpr CLSID kUiExtensionClass = {0xB87DFA05, 0xCFA2, 0x46FA,
                                            {0x97, 0x23, 0x4E, 0x50, 0x9F, 0x3D, 0x71, 0x12}};

using platform::Held;

class ServerModule {
public:
    explicit ServerModule(const char* file = "PelidorU.dll") {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, sizeof path);
        const auto full = std::filesystem::path(path).parent_path() / file;
        module_ = LoadLibraryA(full.string().c_str());
    }
    ~ServerModule() {
        if (module_) FreeLibrary(module_);
    }
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    HMODULE Handle() const { return module_; }

    template <typename F>
    F* Export(const char* name) const {
        return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return Export<HRESULT STDMETHODCALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return Export<HRESULT STDMETHODCALLTYPE()>("DllCanUnloadNow")(); }
    HRESULT Register() const { return Export<HRESULT STDMETHODCALLTYPE()>("DllRegisterServer")(); }
    HRESULT Unregister() const { return Export<HRESULT STDMETHODCALLTYPE()>("DllUnregisterServer")(); }
    BOOL EnumStiPropPages(LPFNADDPROPSHEETPAGE add, LPARAM lParam) const {
        return Export<BOOL WINAPI(PSTI_DEVICE_INFORMATIONW, LPFNADDPROPSHEETPAGE, LPARAM)>("EnumStiPropPages")(
            nullptr, add, lParam);
    }

    // A new shell extension through the module's class object.
    HRESULT CreateShellExt(IShellExtInit** out) const {
        Held<IClassFactory> factory;
        const HRESULT got = GetClassObject(kShellExtClass, IID_IClassFactory, factory.Raw());
        if (FAILED(got)) return got;
        return factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(out));
    }

private:
    HMODULE module_ = nullptr;
};

// An item whose type the test gives.
class TestItem final : public IWiaItem {
public:
    explicit TestItem(LONG type) : type_(type) {}

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaItem)) return E_NOINTERFACE;
        *ppv = static_cast<IWiaItem*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHOD(GetItemType)(LONG* type) override {
        *type = type_;
        return S_OK;
    }
    STDMETHOD(AnalyzeItem)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(EnumChildItems)(IEnumWiaItem**) override { return E_NOTIMPL; }
    STDMETHOD(DeleteItem)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(CreateChildItem)(LONG, BSTR, BSTR, IWiaItem**) override { return E_NOTIMPL; }
    STDMETHOD(EnumRegisterEventInfo)(LONG, const GUID*, IEnumWIA_DEV_CAPS**) override { return E_NOTIMPL; }
    STDMETHOD(FindItemByName)(LONG, BSTR, IWiaItem**) override { return E_NOTIMPL; }
    STDMETHOD(DeviceDlg)(HWND, LONG, LONG, LONG*, IWiaItem***) override { return E_NOTIMPL; }
    STDMETHOD(DeviceCommand)(LONG, const GUID*, IWiaItem**) override { return E_NOTIMPL; }
    STDMETHOD(GetRootItem)(IWiaItem**) override { return E_NOTIMPL; }
    STDMETHOD(EnumDeviceCapabilities)(LONG, IEnumWIA_DEV_CAPS**) override { return E_NOTIMPL; }
    STDMETHOD(DumpItemData)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(DumpDrvItemData)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(DumpTreeItemData)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(Diagnostic)(ULONG, BYTE*) override { return E_NOTIMPL; }

    ULONG Refs() const { return refs_; }

private:
    ~TestItem() = default;
    LONG type_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace propext_test
