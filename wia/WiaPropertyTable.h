// The property declarations of one item, collected and handed to the
// service in one go: names, current values, then access and valid values.
// A declaration of an identifier already in the table replaces it.
#pragma once

#include <wiamindr.h>

#include <string>
#include <vector>

class WiaPropertyTable {
public:
    // Access codes.
    static constexpr ULONG kReadOnly = WIA_PROP_READ | WIA_PROP_NONE;                     // 9
    static constexpr ULONG kRange = WIA_PROP_RW | WIA_PROP_RANGE;                         // 19
    static constexpr ULONG kRangeCacheable = kRange | WIA_PROP_CACHEABLE;                 // 65555
    static constexpr ULONG kList = WIA_PROP_RW | WIA_PROP_LIST;                           // 35
    static constexpr ULONG kListCacheable = kList | WIA_PROP_CACHEABLE;                   // 65571
    static constexpr ULONG kFlagsReadOnly = WIA_PROP_READ | WIA_PROP_FLAG;                // 65
    static constexpr ULONG kFlags = WIA_PROP_RW | WIA_PROP_FLAG;                          // 67

    void Long(PROPID id, const wchar_t* name, LONG value);
    void Text(PROPID id, const wchar_t* name, const std::wstring& value);
    void Guid(PROPID id, const wchar_t* name, const GUID& value);
    // E_INVALIDARG unless minimum <= nominal <= maximum and minimum <= value <= maximum.
    HRESULT Range(PROPID id, const wchar_t* name, LONG value, LONG minimum, LONG nominal, LONG maximum, LONG step,
                  ULONG access = kRange);
    void List(PROPID id, const wchar_t* name, LONG value, std::vector<LONG> items, ULONG access = kList);
    void GuidList(PROPID id, const wchar_t* name, const GUID& value, std::vector<GUID> items);
    void Flags(PROPID id, const wchar_t* name, LONG value, LONG valid, ULONG access);

    HRESULT Apply(BYTE* context);
    size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        PROPID id = 0;
        std::wstring name;
        VARTYPE vt = VT_I4;
        LONG number = 0;
        std::wstring text;
        GUID guid{};
        WIA_PROPERTY_INFO info{};
        std::vector<LONG> items;
        std::vector<GUID> guids;
    };
    Entry& Add(PROPID id, const wchar_t* name);
    std::vector<Entry> entries_;
};
