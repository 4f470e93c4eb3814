#include "WiaUIExtension.h"

#include "ModuleState.h"

CWiaUIExtension::CWiaUIExtension() { module_state::Lock(); }

CWiaUIExtension::~CWiaUIExtension() { module_state::Unlock(); }

STDMETHODIMP CWiaUIExtension::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWiaUIExtension)) return E_NOINTERFACE;
    *ppv = static_cast<IWiaUIExtension*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CWiaUIExtension::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CWiaUIExtension::Release() {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP CWiaUIExtension::DeviceDialog(PDEVICEDIALOGDATA) { return E_NOTIMPL; }

STDMETHODIMP CWiaUIExtension::GetDeviceIcon(BSTR, HICON*, ULONG) { return E_NOTIMPL; }

STDMETHODIMP CWiaUIExtension::GetDeviceBitmapLogo(BSTR, HBITMAP*, ULONG, ULONG) { return E_NOTIMPL; }
