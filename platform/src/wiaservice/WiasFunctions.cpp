// The wias* service functions a minidriver calls: items, the property
// store and its validation, image information, file writes, end of page and
// events.
#include "wiaservice/DriverItem.h"
#include "wiaservice/ServiceEvents.h"

#include <oleauto.h>
#include <propidl.h>
#include <wiamindr.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

using platform::wia::DriverItem;
using platform::wia::Property;
using platform::wia::PropertyValue;
using platform::wia::StoreLock;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Properties a property context carries besides the caller's: the ones a
// scanner driver's validation rules read and mark.
constexpr PROPID kContextProperties[] = {
    WIA_IPA_DATATYPE, WIA_IPA_DEPTH, WIA_IPA_FORMAT, WIA_IPA_PREFERRED_FORMAT, WIA_IPA_TYMED,
    WIA_IPA_CHANNELS_PER_PIXEL, WIA_IPA_BITS_PER_CHANNEL, WIA_IPA_PIXELS_PER_LINE, WIA_IPA_BYTES_PER_LINE,
    WIA_IPA_NUMBER_OF_LINES, WIA_IPA_ITEM_SIZE, WIA_IPA_BUFFER_SIZE, WIA_IPA_COMPRESSION, WIA_IPS_CUR_INTENT,
    WIA_IPS_XRES, WIA_IPS_YRES, WIA_IPS_XPOS, WIA_IPS_YPOS, WIA_IPS_XEXTENT, WIA_IPS_YEXTENT,
    WIA_IPS_PHOTOMETRIC_INTERP, WIA_IPS_BRIGHTNESS, WIA_IPS_CONTRAST, WIA_IPS_THRESHOLD, WIA_DPS_PAGE_WIDTH,
    WIA_DPS_PAGE_HEIGHT, WIA_DPS_DOCUMENT_HANDLING_SELECT, WIA_DPS_PAGES};

PropertyValue FromVariant(const PROPVARIANT& v) {
    PropertyValue value;
    value.vt = v.vt;
    switch (v.vt) {
        case VT_I4:
        case VT_UI4: value.number = v.lVal; break;
        case VT_BSTR: value.text = v.bstrVal ? v.bstrVal : L""; break;
        case VT_CLSID:
            if (v.puuid) value.guid = *v.puuid;
            break;
        default: break;
    }
    return value;
}

Property* Lookup(BYTE* context, PROPID id, HRESULT* missing) {
    DriverItem* item = DriverItem::FromContext(context);
    if (item == nullptr) {
        *missing = E_INVALIDARG;
        return nullptr;
    }
    Property* property = item->Find(id);
    if (property == nullptr || property->current.vt == VT_EMPTY) {
        *missing = S_FALSE;
        return nullptr;
    }
    return property;
}

HRESULT MissingResult(HRESULT missing, BOOL mustExist) {
    if (missing == E_INVALIDARG) return E_INVALIDARG;
    return mustExist ? E_INVALIDARG : S_FALSE;
}

void Write32(BYTE* at, uint32_t v) { std::memcpy(at, &v, 4); }
void Write16(BYTE* at, uint16_t v) { std::memcpy(at, &v, 2); }

LONG PaletteEntries(LONG depth) { return depth == 1 ? 2 : depth == 8 ? 256 : 0; }

}  // namespace

extern "C" {

HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar) {
    if (pvar == nullptr) return E_INVALIDARG;
    if (pvar->vt == VT_BSTR) SysFreeString(pvar->bstrVal);
    if (pvar->vt == VT_CLSID) CoTaskMemFree(pvar->puuid);
    if (pvar->vt == VT_LPWSTR) CoTaskMemFree(pvar->pwszVal);
    if (pvar->vt == (VT_VECTOR | VT_I4) || pvar->vt == (VT_VECTOR | VT_UI4)) CoTaskMemFree(pvar->cal.pElems);
    if (pvar->vt == (VT_VECTOR | VT_CLSID)) CoTaskMemFree(pvar->cauuid.pElems);
    std::memset(pvar, 0, sizeof *pvar);
    return S_OK;
}

HRESULT WINAPI wiasCreateDrvItem(LONG lObjectFlags, BSTR bstrItemName, BSTR bstrFullItemName, IWiaMiniDrv* pIMiniDrv,
                                 LONG cbDevSpecContext, BYTE** ppDevSpecContext, IWiaDrvItem** ppIWiaDrvItem) {
    if (ppIWiaDrvItem == nullptr || bstrItemName == nullptr || bstrFullItemName == nullptr) return E_INVALIDARG;
    *ppIWiaDrvItem = nullptr;
    auto* item = new (std::nothrow) DriverItem(lObjectFlags, bstrItemName, bstrFullItemName, pIMiniDrv,
                                               cbDevSpecContext);
    if (item == nullptr) return E_OUTOFMEMORY;
    if (ppDevSpecContext != nullptr) {
        *ppDevSpecContext = nullptr;
        if (cbDevSpecContext > 0) item->GetDeviceSpecContext(ppDevSpecContext);
    }
    *ppIWiaDrvItem = item;
    return S_OK;
}

HRESULT WINAPI wiasGetDrvItem(BYTE* pWiasContext, IWiaDrvItem** ppIWiaDrvItem) {
    if (ppIWiaDrvItem == nullptr) return E_INVALIDARG;
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    *ppIWiaDrvItem = item;
    return item ? S_OK : E_INVALIDARG;
}

HRESULT WINAPI wiasGetRootItem(BYTE* pWiasContext, BYTE** ppWiasContext) {
    if (ppWiasContext == nullptr) return E_INVALIDARG;
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    *ppWiasContext = item->Root()->Context();
    return S_OK;
}

HRESULT WINAPI wiasGetItemType(BYTE* pWiasContext, LONG* plType) {
    if (plType == nullptr) return E_INVALIDARG;
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    *plType = item->Flags();
    return S_OK;
}

HRESULT WINAPI wiasReadPropLong(BYTE* pWiasContext, PROPID propid, LONG* plVal, LONG* plOldVal, BOOL bMustExist) {
    if (plVal == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    HRESULT missing = S_OK;
    Property* p = Lookup(pWiasContext, propid, &missing);
    if (p == nullptr) return MissingResult(missing, bMustExist);
    if (p->current.vt != VT_I4 && p->current.vt != VT_UI4) return E_INVALIDARG;
    *plVal = p->current.number;
    if (plOldVal) *plOldVal = p->old.vt == VT_EMPTY ? p->current.number : p->old.number;
    return S_OK;
}

HRESULT WINAPI wiasReadPropStr(BYTE* pWiasContext, PROPID propid, BSTR* pbstr, BSTR* pbstrOld, BOOL bMustExist) {
    if (pbstr == nullptr) return E_INVALIDARG;
    *pbstr = nullptr;
    if (pbstrOld) *pbstrOld = nullptr;
    Lock lock(StoreLock());
    HRESULT missing = S_OK;
    Property* p = Lookup(pWiasContext, propid, &missing);
    if (p == nullptr) return MissingResult(missing, bMustExist);
    if (p->current.vt != VT_BSTR) return E_INVALIDARG;
    *pbstr = SysAllocString(p->current.text.c_str());
    if (pbstrOld) *pbstrOld = SysAllocString(p->old.text.c_str());
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI wiasReadPropGuid(BYTE* pWiasContext, PROPID propid, GUID* pguidVal, GUID* pguidOldVal,
                                BOOL bMustExist) {
    if (pguidVal == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    HRESULT missing = S_OK;
    Property* p = Lookup(pWiasContext, propid, &missing);
    if (p == nullptr) return MissingResult(missing, bMustExist);
    if (p->current.vt != VT_CLSID) return E_INVALIDARG;
    *pguidVal = p->current.guid;
    if (pguidOldVal) *pguidOldVal = p->old.vt == VT_EMPTY ? p->current.guid : p->old.guid;
    return S_OK;
}

HRESULT WINAPI wiasWritePropLong(BYTE* pWiasContext, PROPID propid, LONG lVal) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr) return E_INVALIDARG;
    p->current.vt = VT_I4;
    p->current.number = lVal;
    return S_OK;
}

HRESULT WINAPI wiasWritePropStr(BYTE* pWiasContext, PROPID propid, BSTR bstr) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr) return E_INVALIDARG;
    p->current.vt = VT_BSTR;
    p->current.text = bstr ? bstr : L"";
    return S_OK;
}

HRESULT WINAPI wiasWritePropGuid(BYTE* pWiasContext, PROPID propid, GUID guidVal) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr) return E_INVALIDARG;
    p->current.vt = VT_CLSID;
    p->current.guid = guidVal;
    return S_OK;
}

HRESULT WINAPI wiasSetItemPropNames(BYTE* pWiasContext, LONG cItemProps, PROPID* ppId, LPOLESTR* ppszNames) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || cItemProps < 0 || (cItemProps > 0 && (ppId == nullptr || ppszNames == nullptr))) {
        return E_INVALIDARG;
    }
    Lock lock(StoreLock());
    for (LONG i = 0; i < cItemProps; ++i) item->Ensure(ppId[i]).name = ppszNames[i] ? ppszNames[i] : L"";
    return S_OK;
}

HRESULT WINAPI wiasWriteMultiple(BYTE* pWiasContext, LONG ulCount, PROPSPEC* ps, PROPVARIANT* pvValue) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || ulCount < 0 || (ulCount > 0 && (ps == nullptr || pvValue == nullptr))) return E_INVALIDARG;
    Lock lock(StoreLock());
    for (LONG i = 0; i < ulCount; ++i) {
        if (ps[i].ulKind != PRSPEC_PROPID) return E_INVALIDARG;
        Property& p = item->Ensure(ps[i].propid);
        p.current = FromVariant(pvValue[i]);
        p.old = p.current;
    }
    return S_OK;
}

HRESULT WINAPI wiasSetItemPropAttribs(BYTE* pWiasContext, LONG cPropSpec, PROPSPEC* pPropSpec,
                                      PWIA_PROPERTY_INFO pwpi) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || cPropSpec < 0 || (cPropSpec > 0 && (pPropSpec == nullptr || pwpi == nullptr))) {
        return E_INVALIDARG;
    }
    Lock lock(StoreLock());
    for (LONG i = 0; i < cPropSpec; ++i) {
        if (pPropSpec[i].ulKind != PRSPEC_PROPID) return E_INVALIDARG;
        Property& p = item->Ensure(pPropSpec[i].propid);
        const WIA_PROPERTY_INFO& info = pwpi[i];
        p.access = info.lAccessFlags;
        p.list.clear();
        p.guids.clear();
        if (info.lAccessFlags & WIA_PROP_RANGE) {
            p.min = info.ValidVal.Range.Min;
            p.nominal = info.ValidVal.Range.Nom;
            p.max = info.ValidVal.Range.Max;
            p.step = info.ValidVal.Range.Inc;
        } else if (info.lAccessFlags & WIA_PROP_LIST) {
            if (info.vt == VT_CLSID) {
                const GUID* list = info.ValidVal.ListGuid.pList;
                p.guidNominal = info.ValidVal.ListGuid.Nom;
                for (LONG n = 0; list && n < info.ValidVal.ListGuid.cNumList; ++n) p.guids.push_back(list[n]);
            } else {
                const auto* list = reinterpret_cast<const LONG*>(info.ValidVal.List.pList);
                p.nominal = info.ValidVal.List.Nom;
                for (LONG n = 0; list && n < info.ValidVal.List.cNumList; ++n) p.list.push_back(list[n]);
            }
        } else if (info.lAccessFlags & WIA_PROP_FLAG) {
            p.nominal = info.ValidVal.Flag.Nom;
            p.validBits = info.ValidVal.Flag.ValidBits;
        }
    }
    return S_OK;
}

HRESULT WINAPI wiasCreatePropContext(ULONG cPropSpec, PROPSPEC* pPropSpec, ULONG cProps, PROPID* pProps,
                                     WIA_PROPERTY_CONTEXT* pContext) {
    if (pContext == nullptr || (cPropSpec > 0 && pPropSpec == nullptr) || (cProps > 0 && pProps == nullptr)) {
        return E_INVALIDARG;
    }
    std::vector<PROPID> ids(std::begin(kContextProperties), std::end(kContextProperties));
    for (ULONG i = 0; i < cProps; ++i) ids.push_back(pProps[i]);
    for (ULONG i = 0; i < cPropSpec; ++i) {
        if (pPropSpec[i].ulKind == PRSPEC_PROPID) ids.push_back(pPropSpec[i].propid);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    auto* props = static_cast<PROPID*>(CoTaskMemAlloc(ids.size() * sizeof(PROPID)));
    auto* changed = static_cast<BOOL*>(CoTaskMemAlloc(ids.size() * sizeof(BOOL)));
    if (props == nullptr || changed == nullptr) {
        CoTaskMemFree(props);
        CoTaskMemFree(changed);
        return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        props[i] = ids[i];
        changed[i] = FALSE;
        for (ULONG s = 0; s < cPropSpec; ++s) {
            if (pPropSpec[s].ulKind == PRSPEC_PROPID && pPropSpec[s].propid == ids[i]) changed[i] = TRUE;
        }
    }
    pContext->cProps = static_cast<ULONG>(ids.size());
    pContext->pProps = props;
    pContext->pChanged = changed;
    return S_OK;
}

HRESULT WINAPI wiasFreePropContext(WIA_PROPERTY_CONTEXT* pContext) {
    if (pContext == nullptr) return E_INVALIDARG;
    CoTaskMemFree(pContext->pProps);
    CoTaskMemFree(pContext->pChanged);
    *pContext = WIA_PROPERTY_CONTEXT{};
    return S_OK;
}

HRESULT WINAPI wiasIsPropChanged(PROPID propid, WIA_PROPERTY_CONTEXT* pContext, BOOL* pbChanged) {
    if (pContext == nullptr || pbChanged == nullptr) return E_INVALIDARG;
    for (ULONG i = 0; i < pContext->cProps; ++i) {
        if (pContext->pProps[i] == propid) {
            *pbChanged = pContext->pChanged[i];
            return S_OK;
        }
    }
    *pbChanged = FALSE;
    return E_INVALIDARG;
}

HRESULT WINAPI wiasSetPropChanged(PROPID propid, WIA_PROPERTY_CONTEXT* pContext, BOOL bChanged) {
    if (pContext == nullptr) return E_INVALIDARG;
    for (ULONG i = 0; i < pContext->cProps; ++i) {
        if (pContext->pProps[i] == propid) {
            pContext->pChanged[i] = bChanged;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT WINAPI wiasGetChangedValueLong(BYTE* pWiasContext, WIA_PROPERTY_CONTEXT* pContext, BOOL bNoValidation,
                                       PROPID propID, WIAS_CHANGED_VALUE_INFO* pInfo) {
    if (pInfo == nullptr || pContext == nullptr) return E_INVALIDARG;
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propID);
    if (p == nullptr || (p->current.vt != VT_I4 && p->current.vt != VT_UI4)) return E_INVALIDARG;
    BOOL changed = FALSE;
    wiasIsPropChanged(propID, pContext, &changed);
    pInfo->bChanged = changed;
    pInfo->vt = VT_I4;
    pInfo->Current.lVal = p->current.number;
    pInfo->Old.lVal = p->old.vt == VT_EMPTY ? p->current.number : p->old.number;
    if (changed && !bNoValidation && !p->Accepts(p->current)) return E_INVALIDARG;
    return S_OK;
}

HRESULT WINAPI wiasSetValidRangeLong(BYTE* pWiasContext, PROPID propid, LONG lMin, LONG lNom, LONG lMax,
                                     LONG lStep) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr || !(p->access & WIA_PROP_RANGE)) return E_INVALIDARG;
    p->min = lMin;
    p->nominal = lNom;
    p->max = lMax;
    p->step = lStep;
    return S_OK;
}

HRESULT WINAPI wiasSetValidListLong(BYTE* pWiasContext, PROPID propid, ULONG ulCount, LONG lDefault,
                                    LONG* plValues) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || (ulCount > 0 && plValues == nullptr)) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr || !(p->access & WIA_PROP_LIST)) return E_INVALIDARG;
    p->list.assign(plValues, plValues + ulCount);
    p->nominal = lDefault;
    return S_OK;
}

HRESULT WINAPI wiasSetValidFlag(BYTE* pWiasContext, PROPID propid, ULONG ulNom, ULONG ulValidBits) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* p = item->Find(propid);
    if (p == nullptr || !(p->access & WIA_PROP_FLAG)) return E_INVALIDARG;
    p->nominal = static_cast<LONG>(ulNom);
    p->validBits = static_cast<LONG>(ulValidBits);
    return S_OK;
}

HRESULT WINAPI wiasValidateItemProperties(BYTE* pWiasContext, ULONG nPropSpec, const PROPSPEC* pPropSpec) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || (nPropSpec > 0 && pPropSpec == nullptr)) return E_INVALIDARG;
    Lock lock(StoreLock());
    for (ULONG i = 0; i < nPropSpec; ++i) {
        if (pPropSpec[i].ulKind != PRSPEC_PROPID) return E_INVALIDARG;
        Property* p = item->Find(pPropSpec[i].propid);
        if (p == nullptr) return E_INVALIDARG;
        if (!p->Accepts(p->current)) return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT WINAPI wiasUpdateValidFormat(BYTE* pWiasContext, WIA_PROPERTY_CONTEXT* pContext, IWiaMiniDrv* pIMiniDrv) {
    DriverItem* item = DriverItem::FromContext(pWiasContext);
    if (item == nullptr || pContext == nullptr || pIMiniDrv == nullptr) return E_INVALIDARG;
    LONG tymed = 0;
    HRESULT result = wiasReadPropLong(pWiasContext, WIA_IPA_TYMED, &tymed, nullptr, TRUE);
    if (FAILED(result)) return result;
    LONG count = 0;
    WIA_FORMAT_INFO* formats = nullptr;
    LONG error = 0;
    result = pIMiniDrv->drvGetWiaFormatInfo(pWiasContext, 0, &count, &formats, &error);
    if (FAILED(result)) return result;
    std::vector<GUID> valid;
    for (LONG i = 0; formats && i < count; ++i) {
        if (formats[i].lTymed == tymed) valid.push_back(formats[i].guidFormatID);
    }
    if (valid.empty()) return E_INVALIDARG;
    Lock lock(StoreLock());
    Property* format = item->Find(WIA_IPA_FORMAT);
    if (format == nullptr) return E_INVALIDARG;
    format->guids = valid;
    format->guidNominal = valid.front();
    if (std::none_of(valid.begin(), valid.end(), [&](const GUID& g) { return IsEqualGUID(g, format->current.guid); })) {
        format->current.vt = VT_CLSID;
        format->current.guid = valid.front();
        wiasSetPropChanged(WIA_IPA_FORMAT, pContext, TRUE);
    }
    return S_OK;
}

HRESULT WINAPI wiasGetImageInformation(BYTE* pWiasContext, LONG lFlags, PMINIDRV_TRANSFER_CONTEXT pmdtc) {
    if (pmdtc == nullptr || DriverItem::FromContext(pWiasContext) == nullptr) return E_INVALIDARG;
    LONG width = 0, lines = 0, depth = 0, xres = 0, yres = 0, tymed = 0;
    GUID format{};
    if (FAILED(wiasReadPropLong(pWiasContext, WIA_IPA_PIXELS_PER_LINE, &width, nullptr, TRUE)) ||
        FAILED(wiasReadPropLong(pWiasContext, WIA_IPA_NUMBER_OF_LINES, &lines, nullptr, TRUE)) ||
        FAILED(wiasReadPropLong(pWiasContext, WIA_IPA_DEPTH, &depth, nullptr, TRUE)) ||
        FAILED(wiasReadPropGuid(pWiasContext, WIA_IPA_FORMAT, &format, nullptr, TRUE)) ||
        FAILED(wiasReadPropLong(pWiasContext, WIA_IPA_TYMED, &tymed, nullptr, TRUE))) {
        return E_INVALIDARG;
    }
    wiasReadPropLong(pWiasContext, WIA_IPS_XRES, &xres, nullptr, FALSE);
    wiasReadPropLong(pWiasContext, WIA_IPS_YRES, &yres, nullptr, FALSE);
    if (width < 0 || lines < 0 || (depth != 1 && depth != 8 && depth != 24)) return E_INVALIDARG;
    const bool memory = IsEqualGUID(format, WiaImgFmt_MEMORYBMP);
    const bool file = IsEqualGUID(format, WiaImgFmt_BMP);
    const LONG stride = static_cast<LONG>((static_cast<int64_t>(width) * depth + 31) / 32 * 4);
    const LONG palette = PaletteEntries(depth) * 4;
    const LONG header = memory ? 40 + palette : file ? 14 + 40 + palette : 0;
    const int64_t image = static_cast<int64_t>(stride) * lines;
    if (image + header > 0x7FFFFFFF) return E_INVALIDARG;

    if (lFlags & WIAS_INIT_CONTEXT) {
        pmdtc->lWidth = width;
        pmdtc->lLines = lines;
        pmdtc->lDepth = depth;
        pmdtc->lXRes = xres;
        pmdtc->lYRes = yres;
        pmdtc->lCompression = 0;
        pmdtc->guidFormatID = format;
        pmdtc->tymed = tymed;
    }
    pmdtc->cbWidthInBytes = stride;
    pmdtc->lImageSize = static_cast<LONG>(image);
    pmdtc->lHeaderSize = header;
    pmdtc->lItemSize = static_cast<LONG>(image + header);

    // The header in front of the data, bottom-up as the service makes it.
    if (header > 0 && pmdtc->pTransferBuffer != nullptr && pmdtc->lBufferSize >= header) {
        BYTE* at = pmdtc->pTransferBuffer;
        std::memset(at, 0, static_cast<size_t>(header));
        if (file) {
            Write16(at, 0x4D42);
            Write32(at + 2, static_cast<uint32_t>(image + header));
            Write32(at + 10, static_cast<uint32_t>(header));
            at += 14;
        }
        Write32(at, 40);
        Write32(at + 4, static_cast<uint32_t>(width));
        Write32(at + 8, static_cast<uint32_t>(lines));
        Write16(at + 12, 1);
        Write16(at + 14, static_cast<uint16_t>(depth));
        Write32(at + 20, static_cast<uint32_t>(image));
        const uint32_t ppm = static_cast<uint32_t>(xres * 10000 / 254);
        Write32(at + 24, ppm);
        Write32(at + 28, static_cast<uint32_t>(yres * 10000 / 254));
        Write32(at + 32, static_cast<uint32_t>(PaletteEntries(depth)));
        BYTE* colours = at + 40;
        const LONG entries = PaletteEntries(depth);
        for (LONG i = 0; i < entries; ++i) {
            const BYTE level = static_cast<BYTE>(entries == 2 ? i * 255 : i);
            colours[i * 4] = colours[i * 4 + 1] = colours[i * 4 + 2] = level;
        }
    }
    return S_OK;
}

HRESULT WINAPI wiasWriteBufToFile(LONG, PMINIDRV_TRANSFER_CONTEXT pmdtc) {
    if (pmdtc == nullptr || pmdtc->pTransferBuffer == nullptr || pmdtc->lItemSize < 0) return E_INVALIDARG;
    DWORD written = 0;
    const auto file = reinterpret_cast<HANDLE>(pmdtc->hFile);
    if (!WriteFile(file, pmdtc->pTransferBuffer, static_cast<DWORD>(pmdtc->lItemSize), &written, nullptr) ||
        written != static_cast<DWORD>(pmdtc->lItemSize)) {
        return HRESULT_FROM_WIN32(::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE);
    }
    return S_OK;
}

HRESULT WINAPI wiasSendEndOfPage(BYTE*, LONG lPageCount, PMINIDRV_TRANSFER_CONTEXT pmdtc) {
    if (pmdtc == nullptr) return E_INVALIDARG;
    if (pmdtc->pIWiaMiniDrvCallBack == nullptr) return S_OK;
    return pmdtc->pIWiaMiniDrvCallBack->MiniDrvCallback(IT_MSG_NEW_PAGE, IT_STATUS_TRANSFER_TO_CLIENT, 0, 0, 0, pmdtc,
                                                        lPageCount);
}

HRESULT WINAPI wiasQueueEvent(BSTR bstrDeviceId, const GUID* pEventGUID, BSTR bstrFullItemName) {
    if (pEventGUID == nullptr) return E_INVALIDARG;
    platform::wia::QueueServiceEvent(bstrDeviceId ? bstrDeviceId : L"", *pEventGUID,
                                     bstrFullItemName ? bstrFullItemName : L"");
    return S_OK;
}

}  // extern "C"
