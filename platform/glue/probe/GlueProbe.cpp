// A module for the loader tests: reports through the debug output when its
// static object is built and destroyed and when DllMain is called, and
// refuses to attach when C:\glue-probe-refuse exists.
#include <windows.h>

#include <string>

namespace {

void Note(const std::string& text) { OutputDebugStringA(("glue-probe: " + text).c_str()); }

struct StaticObject {
    StaticObject() { Note("constructed"); }
    ~StaticObject() { Note("destroyed"); }
};

const StaticObject object;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    const bool known = module == GetModuleHandleA("GlueProbe.dll") || reason == DLL_PROCESS_ATTACH;
    Note(std::string(reason == DLL_PROCESS_ATTACH ? "attach" : "detach") + (reserved ? " at exit" : "") +
         (known ? "" : " unknown handle"));
    if (reason == DLL_PROCESS_ATTACH && GetFileAttributesA("C:\\glue-probe-refuse") != INVALID_FILE_ATTRIBUTES)
        return FALSE;
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) int GlueProbeAnswer() { return 42; }
