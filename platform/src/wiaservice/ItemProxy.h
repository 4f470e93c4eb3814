// An item of a device the image-acquisition service host serves, as an
// application in another process holds it: IWiaItem and its
// IWiaPropertyStorage, each call a request to the host.
#pragma once

#include "wiaservice/PropertyVariants.h"

#include <platform/wia_service.h>

#include <wia.h>

#include <atomic>
#include <memory>
#include <string>

namespace platform::wia {

class ItemProxy final : public IWiaItem, public PropertyStorageStubs {
public:
    // Item 0 is the root, 1 the feeder (the host's numbering).
    ItemProxy(std::shared_ptr<ServiceClient> client, std::wstring device, int item);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    // IWiaItem
    HRESULT STDMETHODCALLTYPE GetItemType(LONG* type) override;
    HRESULT STDMETHODCALLTYPE AnalyzeItem(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumChildItems(IEnumWiaItem** enumerator) override;
    HRESULT STDMETHODCALLTYPE DeleteItem(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateChildItem(LONG, BSTR, BSTR, IWiaItem** item) override;
    HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG, const GUID*, IEnumWIA_DEV_CAPS** enumerator) override;
    HRESULT STDMETHODCALLTYPE FindItemByName(LONG, BSTR, IWiaItem** item) override;
    HRESULT STDMETHODCALLTYPE DeviceDlg(HWND, LONG, LONG, LONG* count, IWiaItem*** items) override;
    HRESULT STDMETHODCALLTYPE DeviceCommand(LONG, const GUID*, IWiaItem** item) override;
    HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem** root) override;
    HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS** enumerator) override;
    HRESULT STDMETHODCALLTYPE DumpItemData(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE DumpDrvItemData(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE DumpTreeItemData(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE Diagnostic(ULONG, BYTE*) override { return E_NOTIMPL; }

    // IWiaPropertyStorage
    HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG count, const PROPSPEC properties[], PROPVARIANT values[]) override;
    HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG count, const PROPSPEC properties[], const PROPVARIANT values[],
                                            PROPID firstNameId) override;
    HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG count, PROPSPEC properties[], ULONG flags[],
                                                    PROPVARIANT values[]) override;
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override;

private:
    ~ItemProxy() = default;

    std::atomic<ULONG> references_{1};
    std::shared_ptr<ServiceClient> client_;
    std::wstring device_;
    int item_;
};

}  // namespace platform::wia
