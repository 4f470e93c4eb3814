// Properties between an application's PROPSPEC/PROPVARIANT arrays and the
// service's PropertyData, and the stubs of IWiaPropertyStorage that the
// service does not serve.
#pragma once

#include <platform/wia_service.h>

#include <wia.h>

namespace platform::wia {

// The property a PROPSPEC names: by identifier or by name.
HRESULT SelectorOf(const PROPSPEC& property, PropertyData* data);
// A value for the application; VT_EMPTY for a missing property.
HRESULT ToVariant(const PropertyData& data, PROPVARIANT* value);
// An application's value: VT_I4, VT_UI4, VT_BSTR, VT_LPWSTR (taken as a
// string) or VT_CLSID; anything else E_INVALIDARG.
HRESULT FromVariant(const PROPVARIANT& value, PropertyData* data);
// Access flags and valid values as GetPropertyAttributes gives them.
HRESULT AttributesToVariant(const PropertyInfo& info, ULONG* flags, PROPVARIANT* value);

// IWiaPropertyStorage with every method but the four the service serves
// answering E_NOTIMPL.
class PropertyStorageStubs : public IWiaPropertyStorage {
public:
    HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG, const PROPID[], LPOLESTR[]) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[]) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG, const PROPID[]) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enum(IEnumSTATPROPSTG** enumerator) override {
        if (enumerator) *enumerator = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(tagSTATPROPSETSTG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyStream(GUID*, IStream** stream) override {
        if (stream) *stream = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetPropertyStream(GUID*, IStream*) override { return E_NOTIMPL; }

protected:
    ~PropertyStorageStubs() = default;
};

}  // namespace platform::wia
