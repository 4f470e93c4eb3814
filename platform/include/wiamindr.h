// The WIA minidriver interface that the image-acquisition service calls.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <unknwn.h>
#include <oleauto.h>
#include <wiamdef.h>

#ifdef __cplusplus
struct IWiaDrvItem;
struct tagPROPSPEC;
struct _MINIDRV_TRANSFER_CONTEXT;
struct _WIA_DEV_CAP_DRV;
struct _WIA_FORMAT_INFO;

inline constexpr IID IID_IWiaMiniDrv = {0xD8CDEE14, 0x3C6C, 0x11D2, {0x9A, 0x35, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};

inline constexpr CLSID CLSID_WiaLog = {0xA1E75357, 0x881A, 0x419E, {0x83, 0xE2, 0xBB, 0x16, 0xDB, 0x19, 0x7C, 0x68}};
inline constexpr IID IID_IWiaLog = {0xA00C10B6, 0x82A1, 0x452F, {0x8B, 0x6C, 0x86, 0x06, 0x2A, 0xAD, 0x68, 0x90}};

#define WIALOG_TRACE 0x00000001
#define WIALOG_WARNING 0x00000002
#define WIALOG_ERROR 0x00000004
#define WIALOG_LEVEL1 1

struct IWiaLog : IUnknown {
    STDMETHOD(InitializeLog)(LONG hInstance) = 0;
    STDMETHOD(hResult)(HRESULT hr) = 0;
    STDMETHOD(Log)(LONG lFlags, LONG lResID, LONG lDetail, BSTR bstrText) = 0;

protected:
    ~IWiaLog() = default;
};

struct IWiaMiniDrv : IUnknown {
    STDMETHOD(drvInitializeWia)(BYTE* pWiasContext, LONG lFlags, BSTR bstrDeviceID, BSTR bstrRootFullItemName,
                                IUnknown* pStiDevice, IUnknown* pIUnknownOuter, IWiaDrvItem** ppIDrvItemRoot,
                                IUnknown** ppIUnknownInner, LONG* plDevErrVal) = 0;
    STDMETHOD(drvAcquireItemData)(BYTE* pWiasContext, LONG lFlags, _MINIDRV_TRANSFER_CONTEXT* pmdtc,
                                  LONG* plDevErrVal) = 0;
    STDMETHOD(drvInitItemProperties)(BYTE* pWiasContext, LONG lFlags, LONG* plDevErrVal) = 0;
    STDMETHOD(drvValidateItemProperties)(BYTE* pWiasContext, LONG lFlags, ULONG nPropSpec,
                                         const tagPROPSPEC* pPropSpec, LONG* plDevErrVal) = 0;
    STDMETHOD(drvWriteItemProperties)(BYTE* pWiasContext, LONG lFlags, _MINIDRV_TRANSFER_CONTEXT* pmdtc,
                                      LONG* plDevErrVal) = 0;
    STDMETHOD(drvReadItemProperties)(BYTE* pWiasContext, LONG lFlags, ULONG nPropSpec,
                                     const tagPROPSPEC* pPropSpec, LONG* plDevErrVal) = 0;
    STDMETHOD(drvLockWiaDevice)(BYTE* pWiasContext, LONG lFlags, LONG* plDevErrVal) = 0;
    STDMETHOD(drvUnLockWiaDevice)(BYTE* pWiasContext, LONG lFlags, LONG* plDevErrVal) = 0;
    STDMETHOD(drvAnalyzeItem)(BYTE* pWiasContext, LONG lFlags, LONG* plDevErrVal) = 0;
    STDMETHOD(drvGetDeviceErrorStr)(LONG lFlags, LONG lDevErrVal, LPOLESTR* ppszDevErrStr, LONG* plDevErr) = 0;
    STDMETHOD(drvDeviceCommand)(BYTE* pWiasContext, LONG lFlags, const GUID* pguidCommand,
                                IWiaDrvItem** ppWiaDrvItem, LONG* plDevErrVal) = 0;
    STDMETHOD(drvGetCapabilities)(BYTE* pWiasContext, LONG ulFlags, LONG* pcelt,
                                  _WIA_DEV_CAP_DRV** ppCapabilities, LONG* plDevErrVal) = 0;
    STDMETHOD(drvDeleteItem)(BYTE* pWiasContext, LONG lFlags, LONG* plDevErrVal) = 0;
    STDMETHOD(drvFreeDrvItemContext)(LONG lFlags, BYTE* pSpecContext, LONG* plDevErrVal) = 0;
    STDMETHOD(drvGetWiaFormatInfo)(BYTE* pWiasContext, LONG lFlags, LONG* pcelt, _WIA_FORMAT_INFO** ppwfi,
                                   LONG* plDevErrVal) = 0;
    STDMETHOD(drvNotifyPnpEvent)(const GUID* pEventGUID, BSTR bstrDeviceID, ULONG ulReserved) = 0;
    STDMETHOD(drvUnInitializeWia)(BYTE* pWiasContext) = 0;

protected:
    ~IWiaMiniDrv() = default;
};
#endif
