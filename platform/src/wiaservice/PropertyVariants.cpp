#include "wiaservice/PropertyVariants.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <vector>

namespace platform::wia {

HRESULT SelectorOf(const PROPSPEC& property, PropertyData* data) {
    *data = PropertyData{};
    if (property.ulKind == PRSPEC_PROPID) {
        data->id = property.propid;
        return S_OK;
    }
    if (property.ulKind == PRSPEC_LPWSTR && property.lpwstr != nullptr && property.lpwstr[0] != 0) {
        data->name = property.lpwstr;
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT ToVariant(const PropertyData& data, PROPVARIANT* value) {
    std::memset(value, 0, sizeof *value);
    switch (data.vt) {
        case VT_EMPTY: return S_OK;
        case VT_I4:
        case VT_UI4: value->lVal = data.number; break;
        case VT_BSTR:
            value->bstrVal = SysAllocString(data.text.c_str());
            if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
            break;
        case VT_CLSID:
            value->puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
            if (value->puuid == nullptr) return E_OUTOFMEMORY;
            *value->puuid = data.guid;
            break;
        default: return E_UNEXPECTED;
    }
    value->vt = data.vt;
    return S_OK;
}

HRESULT FromVariant(const PROPVARIANT& value, PropertyData* data) {
    switch (value.vt) {
        case VT_I4:
        case VT_UI4:
            data->vt = value.vt;
            data->number = value.lVal;
            return S_OK;
        case VT_BSTR:
        case VT_LPWSTR: {
            const OLECHAR* text = value.vt == VT_BSTR ? value.bstrVal : value.pwszVal;
            data->vt = VT_BSTR;
            data->text = text ? text : L"";
            return S_OK;
        }
        case VT_CLSID:
            if (value.puuid == nullptr) return E_INVALIDARG;
            data->vt = VT_CLSID;
            data->guid = *value.puuid;
            return S_OK;
        default: return E_INVALIDARG;
    }
}

namespace {

HRESULT LongVector(const std::vector<LONG>& elements, PROPVARIANT* value) {
    auto* block = static_cast<LONG*>(CoTaskMemAlloc(elements.size() * sizeof(LONG) + 1));
    if (block == nullptr) return E_OUTOFMEMORY;
    if (!elements.empty()) std::memcpy(block, elements.data(), elements.size() * sizeof(LONG));
    value->vt = VT_VECTOR | VT_I4;
    value->cal.cElems = static_cast<ULONG>(elements.size());
    value->cal.pElems = block;
    return S_OK;
}

}  // namespace

HRESULT AttributesToVariant(const PropertyInfo& info, ULONG* flags, PROPVARIANT* value) {
    std::memset(value, 0, sizeof *value);
    *flags = info.access;
    if (info.access & WIA_PROP_RANGE) {
        std::vector<LONG> range(4);
        range[WIA_RANGE_MIN] = info.min;
        range[WIA_RANGE_NOM] = info.nominal;
        range[WIA_RANGE_MAX] = info.max;
        range[WIA_RANGE_STEP] = info.step;
        return LongVector(range, value);
    }
    if (info.access & WIA_PROP_LIST) {
        if (!info.guids.empty()) {
            // A list of identifiers: the nominal one, then the list.
            auto* block = static_cast<CLSID*>(CoTaskMemAlloc((info.guids.size() + 1) * sizeof(CLSID)));
            if (block == nullptr) return E_OUTOFMEMORY;
            block[0] = info.guidNominal;
            std::memcpy(block + 1, info.guids.data(), info.guids.size() * sizeof(CLSID));
            value->vt = VT_VECTOR | VT_CLSID;
            value->cauuid.cElems = static_cast<ULONG>(info.guids.size() + 1);
            value->cauuid.pElems = block;
            return S_OK;
        }
        std::vector<LONG> list{static_cast<LONG>(info.list.size()), info.nominal};
        list.insert(list.end(), info.list.begin(), info.list.end());
        return LongVector(list, value);
    }
    if (info.access & WIA_PROP_FLAG) {
        std::vector<LONG> bits(2);
        bits[WIA_FLAG_NOM] = info.nominal;
        bits[WIA_FLAG_VALUES] = info.validBits;
        return LongVector(bits, value);
    }
    return S_OK;
}

}  // namespace platform::wia
