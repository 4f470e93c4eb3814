// COM run time: apartment bookkeeping per thread, in-process classes found
// under HKCR\CLSID\{...}\InprocServer32 and created through the module's
// DllGetClassObject, the classes that a service host serves (a proxy in
// this process), and the unloading of modules that allow it.
#include "core/Controls.h"
#include "wiaservice/DeviceManagerProxy.h"
#include "wiaservice/DriverLogClass.h"

#include <objbase.h>
#include <wia.h>
#include <wiamindr.h>
#include <winbase.h>
#include <winreg.h>

#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

// The apartment of this thread: entered count and its concurrency model.
struct Apartment {
    int entered = 0;
    DWORD model = 0;
};
thread_local Apartment apartment;

constexpr DWORD kModelMask = COINIT_APARTMENTTHREADED;

using GetClassObjectFunction = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFunction = HRESULT(STDMETHODCALLTYPE*)();

// Modules loaded for classes; each is freed by CoFreeUnusedLibraries once
// its DllCanUnloadNow says so, or kept for the process's life.
struct ServerModules {
    std::mutex mutex;
    std::vector<HMODULE> modules;
};

ServerModules& Servers() {
    static auto* servers = new ServerModules;
    return *servers;
}

std::string ClassKeyPath(REFCLSID clsid) {
    WCHAR wide[40];
    StringFromGUID2(clsid, wide, 40);
    std::string text;
    for (const WCHAR* p = wide; *p; ++p) text.push_back(static_cast<char>(*p));
    return "CLSID\\" + text + "\\InprocServer32";
}

// The module registered for the class, "" when it is not registered.
std::string InprocServerPath(REFCLSID clsid) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    char path[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG read = RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<LPBYTE>(path), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    path[size < MAX_PATH ? size : MAX_PATH] = '\0';
    return path;
}

}  // namespace
}  // namespace platform

using namespace platform;

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
    DWORD error = 0;
    if (ShouldFail("CoInitializeEx", &error)) return HRESULT_FROM_WIN32(error);
    const DWORD model = dwCoInit & kModelMask;
    if (apartment.entered > 0) {
        if (apartment.model != model) return RPC_E_CHANGED_MODE;
        ++apartment.entered;
        return S_FALSE;
    }
    apartment.entered = 1;
    apartment.model = model;
    return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize(void) {
    if (apartment.entered > 0) --apartment.entered;
}

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    DWORD error = 0;
    if (ShouldFail("CoGetClassObject", &error)) return HRESULT_FROM_WIN32(error);
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (apartment.entered == 0) return CO_E_NOTINITIALIZED;
    // The WIA device manager lives in the image-acquisition service host.
    if (IsEqualCLSID(rclsid, CLSID_WiaDevMgr)) {
        if ((dwClsContext & CLSCTX_LOCAL_SERVER) == 0) return REGDB_E_CLASSNOTREG;
        return wia::GetDeviceManagerClassObject(riid, ppv);
    }
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    // The WIA log class is built in, in the service host's process only.
    if (IsEqualCLSID(rclsid, CLSID_WiaLog)) {
        if (!wia::DriverLogClassServed()) return REGDB_E_CLASSNOTREG;
        return wia::GetDriverLogClassObject(riid, ppv);
    }
    const std::string path = InprocServerPath(rclsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (getClassObject == nullptr) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    const HRESULT result = getClassObject(rclsid, riid, ppv);
    if (FAILED(result)) {
        FreeLibrary(module);
        return result;
    }
    ServerModules& servers = Servers();
    std::lock_guard<std::mutex> lock(servers.mutex);
    servers.modules.push_back(module);
    return result;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    DWORD error = 0;
    if (ShouldFail("CoCreateInstance", &error)) return HRESULT_FROM_WIN32(error);
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    // An aggregating caller may only ask for the inner object's own unknown.
    if (pUnkOuter != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT result =
        CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<LPVOID*>(&factory));
    if (FAILED(result)) return result;
    result = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(result)) *ppv = nullptr;
    return result;
}

void WINAPI CoFreeUnusedLibraries(void) {
    std::vector<HMODULE> unused;
    {
        ServerModules& servers = Servers();
        std::lock_guard<std::mutex> lock(servers.mutex);
        std::vector<HMODULE> kept;
        for (HMODULE module : servers.modules) {
            auto canUnload = reinterpret_cast<CanUnloadNowFunction>(
                reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
            if (canUnload != nullptr && canUnload() == S_OK) {
                unused.push_back(module);
            } else {
                kept.push_back(module);
            }
        }
        servers.modules = std::move(kept);
    }
    for (HMODULE module : unused) FreeLibrary(module);
}

}  // extern "C"
