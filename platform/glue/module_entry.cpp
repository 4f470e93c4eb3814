// Linked last into every deliverable: once the module's own static objects
// are constructed, registers it with the loader and calls its DllMain. The
// detach is registered on the module's own exit list, so it runs before the
// module's static objects are destroyed, at FreeLibrary and at exit.
#include <windef.h>

#include <dlfcn.h>

extern "C" {
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) __attribute__((weak));
void PlatformModuleAttached(void* base, BOOL ok);
void* PlatformModuleDetachReserved(void* base);
int __cxa_atexit(void (*function)(void*), void* argument, void* dso);
extern void* __dso_handle;
}

namespace {

void* ModuleBase() {
    static const char marker = 0;
    Dl_info info{};
    return ::dladdr(&marker, &info) != 0 ? info.dli_fbase : nullptr;
}

void Detach(void* base) {
    if (DllMain) DllMain(static_cast<HINSTANCE>(base), 0 /* DLL_PROCESS_DETACH */, PlatformModuleDetachReserved(base));
}

struct ModuleEntry {
    ModuleEntry() {
        void* base = ModuleBase();
        BOOL ok = DllMain ? DllMain(static_cast<HINSTANCE>(base), 1 /* DLL_PROCESS_ATTACH */, nullptr) : TRUE;
        PlatformModuleAttached(base, ok);
        __cxa_atexit(Detach, base, &__dso_handle);
    }
};

const ModuleEntry entry;

}  // namespace
