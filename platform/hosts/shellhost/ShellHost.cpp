// shellhost: the shell's part for an image device's shell extensions.
//
//   shellhost register MODULE | unregister MODULE
//   shellhost menu [--names] [--invoke TEXT]
//   shellhost properties [--names]
//   shellhost stipages MODULE
//
// register/unregister call the module's DllRegisterServer/DllUnregisterServer.
// menu and properties take the first WIA device of the machine, create each
// handler registered under the WIA device class's "shellex" key
// (ContextMenuHandlers, PropertySheetHandlers), initialise it with a data
// object carrying the device's root item (or, with --names, the
// "WIAItemNames" block naming it), and build the context menu (printing one
// "item ID TEXT" line per entry, and invoking the entry TEXT) or show the
// property sheet with the pages the handlers add. stipages calls the
// module's EnumStiPropPages as the Still Image control panel does and shows
// the pages it adds. Each command prints its results as lines; the exit
// status is 0 when the command could be carried out.
#include "PropertySheetHost.h"
#include "ShellDataObject.h"

#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <shobjidl.h>
#include <sti.h>
#include <wia.h>
#include <windows.h>

#include <platform/com_holder.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace shellhost;

// The shell's class of WIA devices, under which their handlers register.
constexpr char kDeviceClassKey[] = "CLSID\\{A88F4563-88ED-4bbd-BB4E-C1B48FEDA4B3}\\shellex\\";
constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;

using platform::Held;

void Print(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string Hex(HRESULT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; text && *text; ++text) narrow += static_cast<char>(*text);
    return narrow;
}

int CallRegistration(const char* module, const char* entry) {
    HMODULE loaded = LoadLibraryA(module);
    if (loaded == nullptr) {
        Print(std::string("cannot load ") + module);
        return 1;
    }
    auto* call = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(loaded, entry)));
    if (call == nullptr) {
        Print(std::string("no ") + entry);
        FreeLibrary(loaded);
        return 1;
    }
    const HRESULT result = call();
    Print(std::string(entry) + " " + Hex(result));
    FreeLibrary(loaded);
    return SUCCEEDED(result) ? 0 : 1;
}

// The class ids of the handlers registered under the device class.
std::vector<CLSID> Handlers(const char* kind) {
    std::vector<CLSID> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(kDeviceClassKey) + kind).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        char name[128];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::wstring wide(name, name + size);
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromString(wide.c_str(), &clsid))) found.push_back(clsid);
    }
    RegCloseKey(key);
    return found;
}

// The first device's id and its root item.
HRESULT FirstDevice(IWiaDevMgr* manager, std::wstring& id, IWiaItem** root) {
    Held<IEnumWIA_DEV_INFO> devices;
    HRESULT result = manager->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, devices.Out());
    if (FAILED(result)) return result;
    Held<IWiaPropertyStorage> info;
    ULONG fetched = 0;
    if (devices->Next(1, info.Out(), &fetched) != S_OK || fetched != 1) return WIA_S_NO_DEVICE_AVAILABLE;
    PROPSPEC which{};
    which.ulKind = PRSPEC_PROPID;
    which.propid = WIA_DIP_DEV_ID;
    PROPVARIANT value{};
    result = info->ReadMultiple(1, &which, &value);
    if (result != S_OK || value.vt != VT_BSTR) return FAILED(result) ? result : E_FAIL;
    id = value.bstrVal;
    PropVariantClear(&value);
    BSTR text = SysAllocString(id.c_str());
    result = manager->CreateDevice(text, root);
    SysFreeString(text);
    return result;
}

// The data object for the first device; null (and a line) when there is none.
IDataObject* DeviceDataObject(bool names) {
    Held<IWiaDevMgr> manager;
    HRESULT result =
        CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr, manager.Raw());
    if (FAILED(result)) {
        Print("no device manager " + Hex(result));
        return nullptr;
    }
    std::wstring id;
    Held<IWiaItem> root;
    result = FirstDevice(manager.p, id, root.Out());
    if (FAILED(result) || result == WIA_S_NO_DEVICE_AVAILABLE) {
        Print("no device " + Hex(result));
        return nullptr;
    }
    Print("device " + Narrow(id.c_str()));
    if (names) return ShellDataObject::ForNames({id});
    return ShellDataObject::ForItem(root.p);
}

// Each handler created and initialised with the data object.
template <typename Interface>
std::vector<Interface*> InitialisedHandlers(const char* kind, IDataObject* object, REFIID iid) {
    std::vector<Interface*> handlers;
    for (const CLSID& clsid : Handlers(kind)) {
        Held<IShellExtInit> init;
        HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.Raw());
        if (FAILED(result)) {
            Print("handler not created " + Hex(result));
            continue;
        }
        result = init->Initialize(nullptr, object, nullptr);
        Print("initialized " + Hex(result));
        if (FAILED(result)) continue;
        Interface* handler = nullptr;
        if (SUCCEEDED(init->QueryInterface(iid, reinterpret_cast<void**>(&handler)))) handlers.push_back(handler);
    }
    return handlers;
}

int ContextMenu(bool names, const std::string& invoke) {
    IDataObject* object = DeviceDataObject(names);
    if (object == nullptr) return 1;
    HMENU menu = CreatePopupMenu();
    const auto handlers = InitialisedHandlers<IContextMenu>("ContextMenuHandlers", object, IID_IContextMenu);
    object->Release();
    struct Range {
        IContextMenu* handler;
        UINT first;
        UINT count;
    };
    std::vector<Range> ranges;
    UINT next = kFirstCommand;
    for (IContextMenu* handler : handlers) {
        const HRESULT added = handler->QueryContextMenu(menu, static_cast<UINT>(GetMenuItemCount(menu)), next,
                                                        kLastCommand, CMF_NORMAL);
        if (FAILED(added)) continue;
        ranges.push_back({handler, next, static_cast<UINT>(HRESULT_CODE(added))});
        next += static_cast<UINT>(HRESULT_CODE(added));
    }
    UINT chosen = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        const UINT id = GetMenuItemID(menu, i);
        Print("item " + std::to_string(id) + " " + text);
        if (!invoke.empty() && invoke == text) chosen = id;
    }
    int status = 0;
    if (!invoke.empty()) {
        status = 1;
        for (const Range& r : ranges) {
            if (chosen < r.first || chosen >= r.first + r.count) continue;
            CMINVOKECOMMANDINFO info{};
            info.cbSize = sizeof info;
            info.lpVerb = MAKEINTRESOURCEA(chosen - r.first);
            info.nShow = 1;
            const HRESULT result = r.handler->InvokeCommand(&info);
            Print("invoked " + Hex(result));
            status = 0;
        }
        if (status != 0) Print("no item " + invoke);
    }
    for (IContextMenu* handler : handlers) handler->Release();
    DestroyMenu(menu);
    return status;
}

int Properties(bool names) {
    IDataObject* object = DeviceDataObject(names);
    if (object == nullptr) return 1;
    const auto handlers =
        InitialisedHandlers<IShellPropSheetExt>("PropertySheetHandlers", object, IID_IShellPropSheetExt);
    object->Release();
    PageCollector pages;
    for (IShellPropSheetExt* handler : handlers) {
        Print("pages added " + Hex(handler->AddPages(PageCollector::Add, reinterpret_cast<LPARAM>(&pages))));
    }
    const int status = ShowSheet(pages, "Scanner Properties");
    for (IShellPropSheetExt* handler : handlers) handler->Release();
    return status;
}

int StillImagePages(const char* module) {
    HMODULE loaded = LoadLibraryA(module);
    if (loaded == nullptr) {
        Print(std::string("cannot load ") + module);
        return 1;
    }
    using Enum = BOOL(WINAPI*)(PSTI_DEVICE_INFORMATIONW, LPFNADDPROPSHEETPAGE, LPARAM);
    auto enumerate = reinterpret_cast<Enum>(reinterpret_cast<void*>(GetProcAddress(loaded, "EnumStiPropPages")));
    if (enumerate == nullptr) {
        Print("no EnumStiPropPages");
        FreeLibrary(loaded);
        return 1;
    }
    PageCollector pages;
    const BOOL added = enumerate(nullptr, PageCollector::Add, reinterpret_cast<LPARAM>(&pages));
    Print(std::string("EnumStiPropPages ") + (added ? "TRUE" : "FALSE"));
    const int status = ShowSheet(pages, "Scanner Properties");
    FreeLibrary(loaded);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fprintf(stderr, "usage: shellhost register|unregister MODULE | menu [--names] [--invoke TEXT] | "
                             "properties [--names] | stipages MODULE\n");
        return 2;
    }
    const std::string command = args[0];
    if ((command == "register" || command == "unregister" || command == "stipages") && args.size() != 2) return 2;
    bool names = false;
    std::string invoke;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--names") names = true;
        else if (args[i] == "--invoke" && i + 1 < args.size()) invoke = args[++i];
        else if (command == "menu" || command == "properties") return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 2;
    if (command == "register") status = CallRegistration(args[1].c_str(), "DllRegisterServer");
    else if (command == "unregister") status = CallRegistration(args[1].c_str(), "DllUnregisterServer");
    else if (command == "menu") status = ContextMenu(names, invoke);
    else if (command == "properties") status = Properties(names);
    else if (command == "stipages") status = StillImagePages(args[1].c_str());
    CoUninitialize();
    return status;
}
