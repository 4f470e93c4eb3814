#include "ShellExt.h"

#include "AdvancedPage.h"
#include "ModuleState.h"
#include "ScannerCommands.h"
#include "WiaItemNames.h"

#include <MessageTable.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kRowCalibrate = 29;
constexpr int kRowClean = 30;

constexpr UINT kCommandCount = 2;
constexpr LONG kRootItemFlag = WiaItemTypeRoot;

// The verbs, as the shell asks for them.
const char* Verb(UINT_PTR offset) {
    if (offset == 0) return "Calibrate";
    if (offset == 1) return "Clean";
    return nullptr;
}

// At most size - 1 characters and the terminator; nothing for size 0.
template <typename Char>
void CopyVerb(const char* verb, Char* buffer, UINT size) {
    if (buffer == nullptr || size == 0) return;
    UINT i = 0;
    for (; verb[i] != '\0' && i + 1 < size; ++i) buffer[i] = static_cast<Char>(verb[i]);
    buffer[i] = 0;
}

// The parts of a name split at ':' (empty parts are not counted).
size_t NameParts(const std::wstring& name) {
    size_t parts = 0;
    size_t at = 0;
    while (at < name.size()) {
        const size_t end = std::min(name.find(L':', at), name.size());
        if (end > at) ++parts;
        at = end + 1;
    }
    return parts;
}

}  // namespace

CShellExt::CShellExt() { module_state::Lock(); }

CShellExt::~CShellExt() {
    if (m_pItem != nullptr) m_pItem->Release();
    module_state::Unlock();
}

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit))
        *ppv = static_cast<IShellExtInit*>(this);
    else if (IsEqualIID(riid, IID_IContextMenu))
        *ppv = static_cast<IContextMenu*>(this);
    else if (IsEqualIID(riid, IID_IShellPropSheetExt))
        *ppv = static_cast<IShellPropSheetExt*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CShellExt::Release() {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP CShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* dataObject, HKEY) {
    if (dataObject == nullptr) return E_INVALIDARG;
    if (m_pItem != nullptr) {
        m_pItem->Release();
        m_pItem = nullptr;
    }
    HRESULT result = dataObject->QueryInterface(IID_IWiaItem, reinterpret_cast<void**>(&m_pItem));
    if (FAILED(result) || m_pItem == nullptr) {
        m_pItem = nullptr;
        const std::vector<std::wstring> names = GetWiaItemNames(dataObject);
        // Exactly one name, and a device's: no item part after a ':'.
        if (names.size() != 1 || NameParts(names[0]) != 1) return E_FAIL;
        result = CreateWiaDeviceById(names[0].c_str(), &m_pItem);
        if (FAILED(result)) return result;
        if (m_pItem == nullptr) return E_FAIL;
    }
    LONG type = 0;
    if (FAILED(m_pItem->GetItemType(&type)) || (type & kRootItemFlag) == 0) return E_FAIL;
    return result;
}

STDMETHODIMP CShellExt::QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT, UINT) {
    if (!InsertMenuA(menu, index, MF_STRING | MF_BYPOSITION, firstId, MessageText(kRowCalibrate).c_str()))
        return E_FAIL;
    if (!InsertMenuA(menu, index + 1, MF_STRING | MF_BYPOSITION, firstId + 1, MessageText(kRowClean).c_str()))
        return E_FAIL;
    m_calibrateOffset = 0;
    m_cleanOffset = 1;
    return static_cast<HRESULT>(kCommandCount);
}

STDMETHODIMP CShellExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    if (info == nullptr) return E_INVALIDARG;
    // A verb given as a string is not one of ours.
    const auto verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
    if ((verb >> 16) != 0) return E_FAIL;
    if (verb == m_calibrateOffset) return RunCalibrate(info->hwnd);
    if (verb == m_cleanOffset) return RunClean(info->hwnd);
    return E_FAIL;
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer, UINT size) {
    const char* verb = Verb(offset);
    if (verb == nullptr) return E_FAIL;
    switch (type) {
    case GCS_VERBA:
    case GCS_VALIDATEA:
        CopyVerb(verb, buffer, size);
        return S_OK;
    case GCS_VERBW:
    case GCS_VALIDATEW:
        CopyVerb(verb, reinterpret_cast<wchar_t*>(buffer), size);
        return S_OK;
    default:
        return E_FAIL;
    }
}

STDMETHODIMP CShellExt::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM lParam) {
    return CreateAdvancedPage(addPage, lParam);
}

STDMETHODIMP CShellExt::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) { return E_NOTIMPL; }

HRESULT CreateWiaDeviceById(const wchar_t* deviceId, IWiaItem** item) {
    IWiaDevMgr* manager = nullptr;
    HRESULT result = CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr,
                                      reinterpret_cast<void**>(&manager));
    if (FAILED(result)) return result;
    BSTR id = SysAllocString(deviceId);
    result = manager->CreateDevice(id, item);
    SysFreeString(id);
    manager->Release();
    return result;
}
