// Process status: the machine's process ids, and the program module of a
// process with its base name.
#include "core/Controls.h"
#include "kernel32/ProcessObject.h"

#include <psapi.h>
#include <winbase.h>

#include <cstring>

namespace {

// A process's program module: the image base Windows loads programs at.
HMODULE ProgramModule() { return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000)); }

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

WINBASEAPI BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded) {
    using namespace platform;
    if (FailNow("EnumProcesses")) return FALSE;
    if (lpidProcess == nullptr || lpcbNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto ids = MachineProcessIds();
    // As many ids as fit; a full buffer tells the caller to ask again.
    const size_t count = std::min<size_t>(ids.size(), cb / sizeof(DWORD));
    std::memcpy(lpidProcess, ids.data(), count * sizeof(DWORD));
    *lpcbNeeded = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}

WINBASEAPI BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
    using namespace platform;
    if (FailNow("EnumProcessModules")) return FALSE;
    if (!LookupProcess(hProcess)) return Fail(ERROR_INVALID_HANDLE);
    if (lpcbNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    *lpcbNeeded = sizeof(HMODULE);
    if (lphModule != nullptr && cb >= sizeof(HMODULE)) lphModule[0] = ProgramModule();
    return TRUE;
}

WINBASEAPI DWORD WINAPI GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize) {
    using namespace platform;
    if (FailNow("GetModuleBaseNameA")) return 0;
    auto process = LookupProcess(hProcess);
    if (!process) return Fail(ERROR_INVALID_HANDLE);
    if (hModule != nullptr && hModule != ProgramModule()) return Fail(ERROR_INVALID_HANDLE);
    if (lpBaseName == nullptr || nSize == 0) return Fail(ERROR_INVALID_PARAMETER);
    const std::string& name = process->ProgramName();
    const size_t copied = std::min<size_t>(name.size(), nSize - 1);
    std::memcpy(lpBaseName, name.data(), copied);
    lpBaseName[copied] = '\0';
    return static_cast<DWORD>(copied);
}
