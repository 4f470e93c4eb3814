// Process-wide state of the emulated machine: its root folder and the test
// controls (set through platform::testing or the environment).
#pragma once

#include <windef.h>
#include <winbase.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Root of the emulated machine (PLATFORM_ROOT), initialised on first use.
std::string RootPath();

// Failure injection: true when the call `function` must fail now; *error
// receives the error to report (ERROR_GEN_FAILURE unless configured).
// Every Windows function checks at entry.
bool ShouldFail(const char* function, DWORD* error);

// Whether module!export (or a whole module) is hidden from GetProcAddress/LoadLibrary.
bool IsHidden(const std::string& module, const std::string& exportName);

// Free disk space override, if any.
std::optional<uint64_t> FreeSpaceOverride();
// Folders (Windows paths as the test gave them) that report their own free
// space, each with its bytes.
std::vector<std::pair<std::string, uint64_t>> FreeSpaceFolders();

// Immediate-completion wait for device requests (ms, 0 = pend).
DWORD SyncCompletionMs();

// Windows session of this process (1 by default).
int Session();

// Writes a line to the debug-output sink, as OutputDebugStringA does.
void DebugLine(const std::string& text);

}  // namespace platform

#include <functional>
#include <vector>

struct IStillImageW;

namespace platform {

struct WindowsVersionInfo {
    DWORD major = 6;
    DWORD minor = 1;
    DWORD build = 7601;
    DWORD platformId = 2;
};
WindowsVersionInfo WindowsVersion();

// The WOW64 answer when a test fixed it.
std::optional<bool> Wow64Override();

bool PriorityChangesRefused();
int64_t ClockOffsetMs();
// Folders of PLATFORM_LIBRARY_PATH, in order.
std::vector<std::string> LibraryPath();

// Message boxes: records the box and returns the next scripted answer, if any.
std::optional<int> RecordMessageBox(const std::string& text, const std::string& caption, UINT type);
void RecordMessageBeep(UINT type);

// Factory installed by testing::SetStillImageFactory, if any.
std::function<HRESULT(IStillImageW**)> StillImageFactoryOverride();

// Sets the last error and returns true when the call `function` must fail now.
inline bool FailNow(const char* function) {
    DWORD error = 0;
    if (!ShouldFail(function, &error)) return false;
    ::SetLastError(error);
    return true;
}

}  // namespace platform
