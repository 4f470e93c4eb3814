// Who sits at the console of the emulated machine, and the accounts the
// platform knows: the console user and the local system account.
#pragma once

#include <windef.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

inline constexpr DWORD kNoSession = 0xFFFFFFFFu;
// Process id of the console user's shell: above every Linux process id.
inline constexpr DWORD kShellProcessId = 0x7E000004u;
inline constexpr const char* kShellProgram = "explorer.exe";

struct UserIdentity {
    std::string name;
    std::vector<BYTE> sid;  // a SID record
};

DWORD ConsoleSession();
// The console user's account (its SID is the one HKEY_CURRENT_USER maps to).
UserIdentity ConsoleUser();
UserIdentity SystemUser();
// The account of this process: the local system in session 0, else the
// console user.
UserIdentity ProcessUser();
// The shell runs when somebody is at the console and the test did not stop it.
bool ShellRunning();

// A SID record of the given authority and sub-authorities.
std::vector<BYTE> MakeSid(uint64_t authority, const std::vector<DWORD>& subAuthorities);

// The session controls as NAME=value pairs for a child process.
std::vector<std::string> SessionEnvironment();
void ResetSessionControls();

}  // namespace platform
