#include "VarnixWiaDeviceClassFactory.h"

#include "ModuleState.h"
#include "VarnixWiaDevice.h"

#include <new>

VarnixWiaDeviceClassFactory::VarnixWiaDeviceClassFactory() { module_state::ObjectCreated(); }

VarnixWiaDeviceClassFactory::~VarnixWiaDeviceClassFactory() { module_state::ObjectDestroyed(); }

HRESULT STDMETHODCALLTYPE VarnixWiaDeviceClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE VarnixWiaDeviceClassFactory::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE VarnixWiaDeviceClassFactory::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDeviceClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto* device = new (std::nothrow) VarnixWiaDevice(outer);
    if (device == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = device->NonDelegatingQueryInterface(riid, ppv);
    device->NonDelegatingRelease();
    return result;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDeviceClassFactory::LockServer(BOOL lock) {
    module_state::LockServer(lock != FALSE);
    return S_OK;
}
