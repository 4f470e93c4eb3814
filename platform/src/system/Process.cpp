// The current process: its pseudo-handle, id and WOW64 state.
#include "core/Controls.h"

#include <winbase.h>

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// A 32-bit process is under WOW64 when the kernel is 64-bit.
// The kernel's own architecture comes from /proc/sys/kernel/arch where it
// exists: a user-mode emulator running the 32-bit build reports its guest
// machine through uname.
bool RealWow64() {
    if (sizeof(void*) == 8) return false;
    char machine[65] = {};
    if (FILE* arch = std::fopen("/proc/sys/kernel/arch", "r")) {
        const bool read = std::fgets(machine, sizeof machine, arch) != nullptr;
        std::fclose(arch);
        if (read) machine[std::strcspn(machine, "\n")] = '\0';
    }
    if (machine[0] == '\0') {
        struct utsname name;
        if (::uname(&name) != 0) return false;
        std::snprintf(machine, sizeof machine, "%s", name.machine);
    }
    return std::strcmp(machine, "x86_64") == 0 || std::strcmp(machine, "aarch64") == 0;
}

}  // namespace
}  // namespace platform

WINBASEAPI HANDLE WINAPI GetCurrentProcess(void) { return INVALID_HANDLE_VALUE; }

WINBASEAPI DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(::getpid()); }

WINBASEAPI BOOL WINAPI IsWow64Process(HANDLE hProcess, PBOOL Wow64Process) {
    if (platform::FailNow("IsWow64Process")) return FALSE;
    if (Wow64Process == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (hProcess != GetCurrentProcess()) {
        platform::DebugLine("IsWow64Process: only the current process is supported");
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    *Wow64Process = platform::Wow64Override().value_or(platform::RealWow64()) ? TRUE : FALSE;
    return TRUE;
}
