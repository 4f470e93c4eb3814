// The shell extension of the scanner's WIA device: "Calibrate" and "Clean"
// in its context menu, and the Advanced page in its property sheet.
#pragma once

#include <shobjidl.h>
#include <wia.h>

#include <atomic>

class CShellExt final : public IShellExtInit, public IContextMenu, public IShellPropSheetExt {
public:
    CShellExt();
    CShellExt(const CShellExt&) = delete;
    CShellExt& operator=(const CShellExt&) = delete;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IShellExtInit: the device's root item, from the data object.
    STDMETHOD(Initialize)(PCIDLIST_ABSOLUTE folder, IDataObject* dataObject, HKEY key) override;

    // IContextMenu
    STDMETHOD(QueryContextMenu)(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHOD(InvokeCommand)(CMINVOKECOMMANDINFO* info) override;
    STDMETHOD(GetCommandString)(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer, UINT size) override;

    // IShellPropSheetExt
    STDMETHOD(AddPages)(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) override;
    STDMETHOD(ReplacePage)(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replaceWith, LPARAM lParam) override;

private:
    ~CShellExt();

    std::atomic<ULONG> m_refs{1};
    IWiaItem* m_pItem = nullptr;
    UINT m_calibrateOffset = 0;
    UINT m_cleanOffset = 1;
};

// Creates the device's root item by its WIA device id through the WIA
// device manager.
HRESULT CreateWiaDeviceById(const wchar_t* deviceId, IWiaItem** item);
