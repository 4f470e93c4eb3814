#include "ClassFactory.h"

#include "ModuleState.h"

ClassFactory::ClassFactory(Creator creator) : m_creator(creator) { module_state::Lock(); }

ClassFactory::~ClassFactory() { module_state::Unlock(); }

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return m_creator(riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) module_state::Lock();
    else module_state::Unlock();
    return S_OK;
}
