// The service's driver item: its place in the tree, the minidriver's
// context bytes and the item's property store (values, old values, access
// flags and valid values). A service context (the BYTE* handed to the
// minidriver) is a pointer to a DriverItem.
#pragma once

#include <propidl.h>
#include <wiamindr.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform::wia {

struct PropertyValue {
    VARTYPE vt = VT_EMPTY;
    LONG number = 0;
    std::wstring text;
    GUID guid{};

    bool operator==(const PropertyValue& o) const
    {
        return vt == o.vt && number == o.number && text == o.text && IsEqualGUID(guid, o.guid);
    }
};

struct Property {
    std::wstring name;
    PropertyValue current;
    PropertyValue old;
    ULONG access = WIA_PROP_READ | WIA_PROP_NONE;
    LONG min = 0, nominal = 0, max = 0, step = 0;
    std::vector<LONG> list;
    std::vector<GUID> guids;
    GUID guidNominal{};
    LONG validBits = 0;

    // Whether `value` is one of the valid values.
    bool Accepts(const PropertyValue& value) const;
};

// Every store shares one lock: a store is small and the minidriver touches
// two items at most in one call.
std::recursive_mutex& StoreLock();

class DriverItem final : public IWiaDrvItem {
public:
    DriverItem(LONG flags, std::wstring name, std::wstring fullName, IWiaMiniDrv* driver, LONG contextSize);

    static DriverItem* FromContext(BYTE* context);
    BYTE* Context() { return reinterpret_cast<BYTE*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetItemFlags(LONG* flags) override;
    HRESULT STDMETHODCALLTYPE GetDeviceSpecContext(BYTE** context) override;
    HRESULT STDMETHODCALLTYPE GetFullItemName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetItemName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE AddItemToFolder(IWiaDrvItem* folder) override;
    HRESULT STDMETHODCALLTYPE UnlinkItemTree(LONG reason) override;
    HRESULT STDMETHODCALLTYPE RemoveItemFromFolder(LONG reason) override;
    HRESULT STDMETHODCALLTYPE FindItemByName(LONG flags, BSTR fullName, IWiaDrvItem** item) override;
    HRESULT STDMETHODCALLTYPE FindChildItemByName(BSTR name, IWiaDrvItem** item) override;
    HRESULT STDMETHODCALLTYPE GetParentItem(IWiaDrvItem** parent) override;
    HRESULT STDMETHODCALLTYPE GetFirstChildItem(IWiaDrvItem** child) override;
    HRESULT STDMETHODCALLTYPE GetNextSiblingItem(IWiaDrvItem** sibling) override;
    HRESULT STDMETHODCALLTYPE DumpItemData(BSTR* data) override;

    LONG Flags() const { return flags_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& FullName() const { return fullName_; }
    DriverItem* Parent() const { return parent_; }
    DriverItem* Root();
    const std::vector<DriverItem*>& Children() const { return children_; }
    IWiaMiniDrv* Driver() const { return driver_; }
    bool Unlinked() const { return unlinked_; }

    // The store; callers hold StoreLock().
    std::map<PROPID, Property>& Properties() { return properties_; }
    Property* Find(PROPID id);
    Property& Ensure(PROPID id);

private:
    ~DriverItem();

    static constexpr uint32_t kMagic = 0x57494149;  // "WIAI"
    uint32_t magic_ = kMagic;
    std::atomic<ULONG> references_{1};
    LONG flags_;
    std::wstring name_;
    std::wstring fullName_;
    IWiaMiniDrv* driver_;
    std::vector<BYTE> context_;
    DriverItem* parent_ = nullptr;
    std::vector<DriverItem*> children_;
    bool unlinked_ = false;
    std::map<PROPID, Property> properties_;
};

}  // namespace platform::wia
