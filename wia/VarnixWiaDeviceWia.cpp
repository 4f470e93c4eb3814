// The WIA face of the device object. The item tree, properties and
// transfers come later; until then every method says it is not there.
#include "VarnixWiaDevice.h"

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvInitializeWia(BYTE*, LONG, BSTR, BSTR, IUnknown*, IUnknown*,
                                                            IWiaDrvItem** root, IUnknown** inner, LONG* error) {
    if (root) *root = nullptr;
    if (inner) *inner = nullptr;
    if (error) *error = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvAcquireItemData(BYTE*, LONG, _MINIDRV_TRANSFER_CONTEXT*, LONG*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvInitItemProperties(BYTE*, LONG, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvValidateItemProperties(BYTE*, LONG, ULONG, const tagPROPSPEC*, LONG*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvWriteItemProperties(BYTE*, LONG, _MINIDRV_TRANSFER_CONTEXT*, LONG*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvReadItemProperties(BYTE*, LONG, ULONG, const tagPROPSPEC*, LONG*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvLockWiaDevice(BYTE*, LONG, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvUnLockWiaDevice(BYTE*, LONG, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvAnalyzeItem(BYTE*, LONG, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetDeviceErrorStr(LONG, LONG, LPOLESTR* text, LONG*) {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvDeviceCommand(BYTE*, LONG, const GUID*, IWiaDrvItem** item, LONG*) {
    if (item) *item = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetCapabilities(BYTE*, LONG, LONG* count, _WIA_DEV_CAP_DRV** caps,
                                                              LONG*) {
    if (count) *count = 0;
    if (caps) *caps = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvDeleteItem(BYTE*, LONG, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvFreeDrvItemContext(LONG, BYTE*, LONG*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvGetWiaFormatInfo(BYTE*, LONG, LONG* count, _WIA_FORMAT_INFO** formats,
                                                               LONG*) {
    if (count) *count = 0;
    if (formats) *formats = nullptr;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvNotifyPnpEvent(const GUID*, BSTR, ULONG) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VarnixWiaDevice::drvUnInitializeWia(BYTE*) { return E_NOTIMPL; }
