// Test controls of user sessions: who sits at the console, whether their
// shell runs, and the processes started on the machine.
#pragma once

#include <windef.h>

#include <string>
#include <vector>

namespace platform::testing {

// WTSGetActiveConsoleSessionId's answer when nobody is at the console.
inline constexpr DWORD kNoConsoleSession = 0xFFFFFFFFu;

// The session at the console (default 1; environment PLATFORM_CONSOLE_SESSION)
// and its user's name (default: the person running the machine; environment
// PLATFORM_CONSOLE_USER).
PLATFORM_EXPORT void SetConsoleSession(DWORD session);
PLATFORM_EXPORT void SetConsoleUser(const std::string& name);
// Whether the console user's shell, "explorer.exe", runs (default: whenever
// somebody is at the console; environment PLATFORM_SHELL=0/1).
PLATFORM_EXPORT void SetShellRunning(bool running);

// A process started by CreateProcessA or CreateProcessAsUserA anywhere on the
// machine (this root), in order of starting.
struct StartedProcess {
    DWORD processId = 0;
    bool asUser = false;  // CreateProcessAsUserA
    std::string user;     // the account it runs as
    DWORD session = 0;
    std::string desktop;           // STARTUPINFOA's desktop, "" when none was named
    std::string workingDirectory;  // as given, "" when none was
    std::string commandLine;
    std::string program;  // native path of the program file
};
PLATFORM_EXPORT std::vector<StartedProcess> StartedProcesses();

// Handles of processes and tokens open in this process.
PLATFORM_EXPORT int OpenProcessHandles();
PLATFORM_EXPORT int OpenTokenHandles();

// "station\desktop" of the calling thread, e.g. "WinSta0\Default", and the
// window station of the process.
PLATFORM_EXPORT std::string ThreadDesktopName();
PLATFORM_EXPORT std::string ProcessWindowStationName();

}  // namespace platform::testing
