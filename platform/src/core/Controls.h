// Process-wide state of the emulated machine: its root folder and the test
// controls (set through platform::testing or the environment).
#pragma once

#include <windef.h>

#include <cstdint>
#include <optional>
#include <string>

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

// Immediate-completion wait for device requests (ms, 0 = pend).
DWORD SyncCompletionMs();

// Windows session of this process (1 by default).
int Session();

// Writes a line to the debug-output sink, as OutputDebugStringA does.
void DebugLine(const std::string& text);

}  // namespace platform
