// The module's entry points: class objects of the shell extension and the
// user-interface extension, unloading, registration from the module's
// script, and the Advanced page for the Still Image control panel.
#include "AdvancedPage.h"
#include "ClassFactory.h"
#include "ModuleState.h"
#include "ShellExt.h"
#include "ShellExtClsid.h"
#include "WiaUIExtension.h"

#include <atlregistrar.h>
#include <sti.h>
#include <windows.h>

#include <new>

#define PROPEXT_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Only what needs no other module: the seeding of the device values
        // waits for the first object or page.
        LoadShellExtClsid(instance);
        DisableThreadLibraryCalls(instance);
        module_state::SetInstance(instance);
    }
    return TRUE;
}

PROPEXT_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    ClassFactory::Creator creator = nullptr;
    const auto shellExt = ShellExtClsid();
    if (shellExt && IsEqualCLSID(clsid, *shellExt)) creator = CreateObject<CShellExt, IShellExtInit>;
    else if (IsEqualCLSID(clsid, CLSID_TestUIExtension)) creator = CreateObject<CWiaUIExtension, IWiaUIExtension>;
    if (creator == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    InitUiModule();
    auto* factory = new (std::nothrow) ClassFactory(creator);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

PROPEXT_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return module_state::InUse() ? S_FALSE : S_OK; }

PROPEXT_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer() {
    const HRESULT result = atl::UpdateRegistryFromResource(module_state::Instance(), kRegistrationScript, true);
    if (FAILED(result)) return result;
    return atl::RegisterTypeLibrary(module_state::Instance(), true);
}

PROPEXT_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
    const HRESULT result = atl::UpdateRegistryFromResource(module_state::Instance(), kRegistrationScript, false);
    if (FAILED(result)) return result;
    return atl::RegisterTypeLibrary(module_state::Instance(), false);
}

// The page for the Still Image control panel, on the systems whose panel
// asks the driver package for it: Windows 2000 and Windows 98.
PROPEXT_EXPORT BOOL WINAPI EnumStiPropPages(PSTI_DEVICE_INFORMATIONW, LPFNADDPROPSHEETPAGE addPage, LPARAM lParam) {
    InitUiModule();
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return FALSE;
    const bool windows2000 = version.dwMajorVersion == 5 && version.dwMinorVersion == 0;
    const bool windows98 = version.dwMajorVersion == 4 && version.dwMinorVersion == 10;
    if (!windows2000 && !windows98) return FALSE;
    return CreateAdvancedPage(addPage, lParam) == S_OK ? TRUE : FALSE;
}
