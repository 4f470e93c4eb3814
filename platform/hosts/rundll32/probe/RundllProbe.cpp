// A module with a rundll32 entry that writes what it was given to the file
// named by RUNDLL_PROBE_OUT.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void WINAPI Record(HWND window, HINSTANCE instance, LPSTR commandLine,
                                                                     int show) {
    const char* out = std::getenv("RUNDLL_PROBE_OUT");
    if (out == nullptr) return;
    if (FILE* file = std::fopen(out, "w")) {
        char name[MAX_PATH] = {};
        GetModuleFileNameA(instance, name, sizeof name);
        std::fprintf(file, "%s\n%d\n%s\n%d\n", commandLine, window == nullptr ? 0 : 1, name, show);
        std::fclose(file);
    }
}
