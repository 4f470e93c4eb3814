#include "WiaPropertyTable.h"

#include <objbase.h>
#include <oleauto.h>

WiaPropertyTable::Entry& WiaPropertyTable::Add(PROPID id, const wchar_t* name) {
    for (Entry& entry : entries_) {
        if (entry.id == id) {
            entry = Entry{};
            entry.id = id;
            entry.name = name;
            return entry;
        }
    }
    entries_.push_back(Entry{});
    entries_.back().id = id;
    entries_.back().name = name;
    return entries_.back();
}

void WiaPropertyTable::Long(PROPID id, const wchar_t* name, LONG value) {
    Entry& e = Add(id, name);
    e.number = value;
    e.info.lAccessFlags = kReadOnly;
    e.info.vt = VT_I4;
}

void WiaPropertyTable::Text(PROPID id, const wchar_t* name, const std::wstring& value) {
    Entry& e = Add(id, name);
    e.vt = VT_BSTR;
    e.text = value;
    e.info.lAccessFlags = kReadOnly;
    e.info.vt = VT_BSTR;
}

void WiaPropertyTable::Guid(PROPID id, const wchar_t* name, const GUID& value) {
    Entry& e = Add(id, name);
    e.vt = VT_CLSID;
    e.guid = value;
    e.info.lAccessFlags = kReadOnly;
    e.info.vt = VT_CLSID;
}

HRESULT WiaPropertyTable::Range(PROPID id, const wchar_t* name, LONG value, LONG minimum, LONG nominal, LONG maximum,
                                LONG step, ULONG access) {
    if (minimum > nominal || nominal > maximum || value < minimum || value > maximum) return E_INVALIDARG;
    Entry& e = Add(id, name);
    e.number = value;
    e.info.lAccessFlags = access;
    e.info.vt = VT_I4;
    e.info.ValidVal.Range.Min = minimum;
    e.info.ValidVal.Range.Nom = nominal;
    e.info.ValidVal.Range.Max = maximum;
    e.info.ValidVal.Range.Inc = step;
    return S_OK;
}

void WiaPropertyTable::List(PROPID id, const wchar_t* name, LONG value, std::vector<LONG> items, ULONG access) {
    Entry& e = Add(id, name);
    e.number = value;
    e.items = std::move(items);
    e.info.lAccessFlags = access;
    e.info.vt = VT_I4;
    e.info.ValidVal.List.Nom = value;
}

void WiaPropertyTable::GuidList(PROPID id, const wchar_t* name, const GUID& value, std::vector<GUID> items) {
    Entry& e = Add(id, name);
    e.vt = VT_CLSID;
    e.guid = value;
    e.guids = std::move(items);
    e.info.lAccessFlags = kList;
    e.info.vt = VT_CLSID;
    e.info.ValidVal.ListGuid.Nom = value;
}

void WiaPropertyTable::Flags(PROPID id, const wchar_t* name, LONG value, LONG valid, ULONG access) {
    Entry& e = Add(id, name);
    e.number = value;
    e.info.lAccessFlags = access;
    e.info.vt = VT_I4;
    e.info.ValidVal.Flag.Nom = value;
    e.info.ValidVal.Flag.ValidBits = valid;
}

HRESULT WiaPropertyTable::Apply(BYTE* context) {
    const size_t n = entries_.size();
    std::vector<PROPID> ids(n);
    std::vector<LPOLESTR> names(n);
    std::vector<PROPSPEC> specs(n);
    std::vector<PROPVARIANT> values(n);
    std::vector<WIA_PROPERTY_INFO> infos(n);
    for (size_t i = 0; i < n; ++i) {
        Entry& e = entries_[i];
        ids[i] = e.id;
        names[i] = e.name.data();
        specs[i].ulKind = PRSPEC_PROPID;
        specs[i].propid = e.id;
        values[i] = PROPVARIANT{};
        values[i].vt = e.vt;
        if (e.vt == VT_I4) values[i].lVal = e.number;
        if (e.vt == VT_BSTR) values[i].bstrVal = e.text.data();
        if (e.vt == VT_CLSID) values[i].puuid = &e.guid;
        infos[i] = e.info;
        if (e.info.lAccessFlags & WIA_PROP_LIST) {
            if (e.vt == VT_CLSID) {
                infos[i].ValidVal.ListGuid.cNumList = static_cast<LONG>(e.guids.size());
                infos[i].ValidVal.ListGuid.pList = e.guids.data();
            } else {
                infos[i].ValidVal.List.cNumList = static_cast<LONG>(e.items.size());
                infos[i].ValidVal.List.pList = reinterpret_cast<BYTE*>(e.items.data());
            }
        }
    }
    const LONG count = static_cast<LONG>(n);
    HRESULT result = wiasSetItemPropNames(context, count, ids.data(), names.data());
    if (SUCCEEDED(result)) result = wiasWriteMultiple(context, count, specs.data(), values.data());
    if (SUCCEEDED(result)) result = wiasSetItemPropAttribs(context, count, specs.data(), infos.data());
    return result;
}
