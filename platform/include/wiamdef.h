// What the image-acquisition service gives its minidrivers: the driver item,
// the transfer context and callbacks, capability and format records,
// property valid values and the wias* service functions.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <winuser.h>  // SendMessage is a macro there: the transfer callback's method follows it
#include <unknwn.h>
#include <oleauto.h>
#include <objidl.h>
#include <propidl.h>
#include <wia.h>

struct IWiaMiniDrv;
struct IWiaMiniDrvCallBack;

// 8-byte aligned in 32-bit processes too, as on Windows.
typedef unsigned long long __attribute__((aligned(8))) ULONG64;

typedef struct _MINIDRV_TRANSFER_CONTEXT {
    LONG lSize;
    LONG lWidth;
    LONG lLines;
    LONG lDepth;
    LONG lXRes;
    LONG lYRes;
    LONG lCompression;
    GUID guidFormatID;
    LONG tymed;
    LONG_PTR hFile;
    LONG cbOffset;
    LONG lBufferSize;
    LONG lActiveBuffer;
    LONG lNumBuffers;
    BYTE* pBaseBuffer;
    BYTE* pTransferBuffer;
    BOOL bTransferDataCB;
    BOOL bClassDrvAllocBuf;
    LONG_PTR lClientAddress;
    IWiaMiniDrvCallBack* pIWiaMiniDrvCallBack;
    LONG lImageSize;
    LONG lHeaderSize;
    LONG lItemSize;
    LONG cbWidthInBytes;
    LONG lPage;
    LONG lCurIfdOffset;
    LONG lPrevIfdOffset;
} MINIDRV_TRANSFER_CONTEXT, *PMINIDRV_TRANSFER_CONTEXT;

typedef struct _WIA_DEV_CAP_DRV {
    GUID* guid;
    ULONG ulFlags;
    LPOLESTR wszName;
    LPOLESTR wszDescription;
    LPOLESTR wszIcon;
} WIA_DEV_CAP_DRV, *PWIA_DEV_CAP_DRV;

typedef struct _WIA_FORMAT_INFO {
    GUID guidFormatID;
    LONG lTymed;
} WIA_FORMAT_INFO, *PWIA_FORMAT_INFO;

typedef struct _WIA_PROPERTY_INFO {
    ULONG lAccessFlags;
    VARTYPE vt;
    union {
        struct {
            LONG Min;
            LONG Nom;
            LONG Max;
            LONG Inc;
        } Range;
        struct {
            LONG cNumList;
            LONG Nom;
            BYTE* pList;
        } List;
        struct {
            LONG cNumList;
            GUID Nom;
            GUID* pList;
        } ListGuid;
        struct {
            LONG Nom;
            LONG ValidBits;
        } Flag;
        struct {
            LONG Dummy;
        } None;
    } ValidVal;
} WIA_PROPERTY_INFO, *PWIA_PROPERTY_INFO;

typedef struct _WIA_PROPERTY_CONTEXT {
    ULONG cProps;
    PROPID* pProps;
    BOOL* pChanged;
} WIA_PROPERTY_CONTEXT;

typedef struct _WIAS_CHANGED_VALUE_INFO {
    BOOL bChanged;
    LONG vt;
    union {
        LONG lVal;
        BSTR bstrVal;
        GUID guidVal;
    } Old;
    union {
        LONG lVal;
        BSTR bstrVal;
        GUID guidVal;
    } Current;
} WIAS_CHANGED_VALUE_INFO;

typedef struct _WiaTransferParams {
    LONG lMessage;
    LONG lPercentComplete;
    ULONG64 ulTransferredBytes;
    HRESULT hrErrorStatus;
} WiaTransferParams;

#define WIA_TRANSFER_MSG_STATUS 0x00001
#define WIA_TRANSFER_MSG_END_OF_STREAM 0x00002
#define WIA_TRANSFER_MSG_END_OF_TRANSFER 0x00003

// wiasGetImageInformation: fill the transfer context from the item.
#define WIAS_INIT_CONTEXT 1

#ifdef __cplusplus
static_assert(sizeof(MINIDRV_TRANSFER_CONTEXT) == (sizeof(void*) == 8 ? 144 : 120), "transfer context layout");
static_assert(sizeof(WiaTransferParams) == 24, "transfer parameters layout");

inline constexpr IID IID_IWiaDrvItem = {0x1F02B5C5, 0xB00C, 0x11D2, {0xA0, 0x94, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr IID IID_IWiaMiniDrvCallBack = {0x33A57D5A, 0x3DE8, 0x11D2,
                                                {0x9A, 0x36, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
inline constexpr IID IID_IWiaMiniDrvTransferCallback = {0xA9D2EE89, 0x2CE5, 0x4FF0,
                                                        {0x8A, 0xDB, 0xC9, 0x61, 0xD1, 0xD7, 0x74, 0xCA}};

struct IWiaDrvItem : IUnknown {
    STDMETHOD(GetItemFlags)(LONG* plFlags) = 0;
    STDMETHOD(GetDeviceSpecContext)(BYTE** ppSpecContext) = 0;
    STDMETHOD(GetFullItemName)(BSTR* pbstrFullItemName) = 0;
    STDMETHOD(GetItemName)(BSTR* pbstrItemName) = 0;
    STDMETHOD(AddItemToFolder)(IWiaDrvItem* pIFolder) = 0;
    STDMETHOD(UnlinkItemTree)(LONG lReason) = 0;
    STDMETHOD(RemoveItemFromFolder)(LONG lReason) = 0;
    STDMETHOD(FindItemByName)(LONG lFlags, BSTR bstrFullItemName, IWiaDrvItem** ppItem) = 0;
    STDMETHOD(FindChildItemByName)(BSTR bstrItemName, IWiaDrvItem** ppIChildItem) = 0;
    STDMETHOD(GetParentItem)(IWiaDrvItem** ppIParentItem) = 0;
    STDMETHOD(GetFirstChildItem)(IWiaDrvItem** ppIFirstChildItem) = 0;
    STDMETHOD(GetNextSiblingItem)(IWiaDrvItem** ppINextSiblingItem) = 0;
    STDMETHOD(DumpItemData)(BSTR* bstrDrvItemData) = 0;

protected:
    ~IWiaDrvItem() = default;
};

struct IWiaMiniDrvCallBack : IUnknown {
    STDMETHOD(MiniDrvCallback)(LONG lReason, LONG lStatus, LONG lPercentComplete, LONG lOffset, LONG lLength,
                               PMINIDRV_TRANSFER_CONTEXT pmdtc, LONG lReserved) = 0;

protected:
    ~IWiaMiniDrvCallBack() = default;
};

struct IWiaMiniDrvTransferCallback : IUnknown {
    STDMETHOD(GetNextStream)(LONG lFlags, BSTR bstrItemName, BSTR bstrFullItemName, IStream** ppIStream) = 0;
    STDMETHOD(SendMessage)(LONG lFlags, WiaTransferParams* pWiaTransferParams) = 0;

protected:
    ~IWiaMiniDrvTransferCallback() = default;
};

extern "C" {
#endif
PLATFORM_EXPORT HRESULT WINAPI wiasCreateDrvItem(LONG lObjectFlags, BSTR bstrItemName, BSTR bstrFullItemName,
                                                 struct IWiaMiniDrv* pIMiniDrv, LONG cbDevSpecContext,
                                                 BYTE** ppDevSpecContext, struct IWiaDrvItem** ppIWiaDrvItem);
PLATFORM_EXPORT HRESULT WINAPI wiasGetDrvItem(BYTE* pWiasContext, struct IWiaDrvItem** ppIWiaDrvItem);
PLATFORM_EXPORT HRESULT WINAPI wiasGetRootItem(BYTE* pWiasContext, BYTE** ppWiasContext);
PLATFORM_EXPORT HRESULT WINAPI wiasGetItemType(BYTE* pWiasContext, LONG* plType);
PLATFORM_EXPORT HRESULT WINAPI wiasReadPropLong(BYTE* pWiasContext, PROPID propid, LONG* plVal, LONG* plOldVal,
                                                BOOL bMustExist);
PLATFORM_EXPORT HRESULT WINAPI wiasReadPropStr(BYTE* pWiasContext, PROPID propid, BSTR* pbstr, BSTR* pbstrOld,
                                               BOOL bMustExist);
PLATFORM_EXPORT HRESULT WINAPI wiasReadPropGuid(BYTE* pWiasContext, PROPID propid, GUID* pguidVal,
                                                GUID* pguidOldVal, BOOL bMustExist);
PLATFORM_EXPORT HRESULT WINAPI wiasWritePropLong(BYTE* pWiasContext, PROPID propid, LONG lVal);
PLATFORM_EXPORT HRESULT WINAPI wiasWritePropStr(BYTE* pWiasContext, PROPID propid, BSTR bstr);
PLATFORM_EXPORT HRESULT WINAPI wiasWritePropGuid(BYTE* pWiasContext, PROPID propid, GUID guidVal);
PLATFORM_EXPORT HRESULT WINAPI wiasSetItemPropNames(BYTE* pWiasContext, LONG cItemProps, PROPID* ppId,
                                                    LPOLESTR* ppszNames);
PLATFORM_EXPORT HRESULT WINAPI wiasWriteMultiple(BYTE* pWiasContext, LONG ulCount, PROPSPEC* ps,
                                                 PROPVARIANT* pvValue);
PLATFORM_EXPORT HRESULT WINAPI wiasSetItemPropAttribs(BYTE* pWiasContext, LONG cPropSpec, PROPSPEC* pPropSpec,
                                                      PWIA_PROPERTY_INFO pwpi);
PLATFORM_EXPORT HRESULT WINAPI wiasCreatePropContext(ULONG cPropSpec, PROPSPEC* pPropSpec, ULONG cProps,
                                                     PROPID* pProps, WIA_PROPERTY_CONTEXT* pContext);
PLATFORM_EXPORT HRESULT WINAPI wiasFreePropContext(WIA_PROPERTY_CONTEXT* pContext);
PLATFORM_EXPORT HRESULT WINAPI wiasIsPropChanged(PROPID propid, WIA_PROPERTY_CONTEXT* pContext, BOOL* pbChanged);
PLATFORM_EXPORT HRESULT WINAPI wiasSetPropChanged(PROPID propid, WIA_PROPERTY_CONTEXT* pContext, BOOL bChanged);
PLATFORM_EXPORT HRESULT WINAPI wiasGetChangedValueLong(BYTE* pWiasContext, WIA_PROPERTY_CONTEXT* pContext,
                                                       BOOL bNoValidation, PROPID propID,
                                                       WIAS_CHANGED_VALUE_INFO* pInfo);
PLATFORM_EXPORT HRESULT WINAPI wiasSetValidRangeLong(BYTE* pWiasContext, PROPID propid, LONG lMin, LONG lNom,
                                                     LONG lMax, LONG lStep);
PLATFORM_EXPORT HRESULT WINAPI wiasSetValidListLong(BYTE* pWiasContext, PROPID propid, ULONG ulCount,
                                                    LONG lDefault, LONG* plValues);
PLATFORM_EXPORT HRESULT WINAPI wiasSetValidFlag(BYTE* pWiasContext, PROPID propid, ULONG ulNom,
                                                ULONG ulValidBits);
PLATFORM_EXPORT HRESULT WINAPI wiasValidateItemProperties(BYTE* pWiasContext, ULONG nPropSpec,
                                                          const PROPSPEC* pPropSpec);
PLATFORM_EXPORT HRESULT WINAPI wiasUpdateValidFormat(BYTE* pWiasContext, WIA_PROPERTY_CONTEXT* pContext,
                                                     struct IWiaMiniDrv* pIMiniDrv);
PLATFORM_EXPORT HRESULT WINAPI wiasGetImageInformation(BYTE* pWiasContext, LONG lFlags,
                                                       PMINIDRV_TRANSFER_CONTEXT pmdtc);
// Writes pmdtc->lItemSize bytes of the transfer buffer to pmdtc->hFile.
PLATFORM_EXPORT HRESULT WINAPI wiasWriteBufToFile(LONG lFlags, PMINIDRV_TRANSFER_CONTEXT pmdtc);
PLATFORM_EXPORT HRESULT WINAPI wiasSendEndOfPage(BYTE* pWiasContext, LONG lPageCount,
                                                 PMINIDRV_TRANSFER_CONTEXT pmdtc);
PLATFORM_EXPORT HRESULT WINAPI wiasQueueEvent(BSTR bstrDeviceId, const GUID* pEventGUID, BSTR bstrFullItemName);
#ifdef __cplusplus
}
#endif
