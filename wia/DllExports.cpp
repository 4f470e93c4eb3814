// The module's entry points: class objects, unloading and (empty)
// registration; the class is registered by the device's installation.
#include "ModuleState.h"
#include "VarnixWiaDevice.h"
#include "VarnixWiaDeviceClassFactory.h"

#include <windows.h>

#include <new>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) module_state::SetInstance(instance);
    return TRUE;
}

__attribute__((visibility("default"))) HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                                   void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_VarnixWiaDevice)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) VarnixWiaDeviceClassFactory;
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

__attribute__((visibility("default"))) HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
    return module_state::InUse() ? S_FALSE : S_OK;
}

__attribute__((visibility("default"))) HRESULT STDMETHODCALLTYPE DllRegisterServer() { return S_OK; }

__attribute__((visibility("default"))) HRESULT STDMETHODCALLTYPE DllUnregisterServer() { return S_OK; }

}  // extern "C"
