// The class factory of VarnixWiaDevice.
#pragma once

#include <unknwn.h>

#include <atomic>

class VarnixWiaDeviceClassFactory final : public IClassFactory {
public:
    VarnixWiaDeviceClassFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~VarnixWiaDeviceClassFactory();
    std::atomic<ULONG> references_{1};
};
