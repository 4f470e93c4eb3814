// The console session and its user: test controls read from the environment
// at first use.
#include "wtsapi32/ConsoleSession.h"

#include "core/Controls.h"

#include <platform/testing_sessions.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>

namespace platform {
namespace {

struct SessionState {
    DWORD consoleSession = 1;
    std::string consoleUser;
    std::optional<bool> shell;
};

std::string RunningUserName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name && *entry->pw_name)
        return entry->pw_name;
    return "User";
}

void Load(SessionState& state) {
    state = SessionState{};
    state.consoleUser = RunningUserName();
    if (const char* session = std::getenv("PLATFORM_CONSOLE_SESSION"); session && *session) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(session, &end, 0);
        if (*end == '\0') state.consoleSession = static_cast<DWORD>(value);
    }
    if (const char* user = std::getenv("PLATFORM_CONSOLE_USER"); user && *user) state.consoleUser = user;
    if (const char* shell = std::getenv("PLATFORM_SHELL"); shell && (shell[0] == '0' || shell[0] == '1'))
        state.shell = shell[0] == '1';
}

struct Sessions {
    std::mutex lock;
    SessionState state;
    Sessions() { Load(state); }
};

Sessions& Get() {
    static Sessions* sessions = new Sessions;
    return *sessions;
}

template <typename F>
auto With(F&& f) {
    Sessions& sessions = Get();
    std::lock_guard guard(sessions.lock);
    return f(sessions.state);
}

}  // namespace

DWORD ConsoleSession() {
    return With([](SessionState& s) { return s.consoleSession; });
}

UserIdentity ConsoleUser() {
    // S-1-5-21-0-0-0-1000: the account whose hive HKEY_CURRENT_USER is.
    return {With([](SessionState& s) { return s.consoleUser; }), MakeSid(5, {21, 0, 0, 0, 1000})};
}

UserIdentity SystemUser() { return {"SYSTEM", MakeSid(5, {18})}; }

UserIdentity ProcessUser() { return Session() == 0 ? SystemUser() : ConsoleUser(); }

bool ShellRunning() {
    return With([](SessionState& s) { return s.consoleSession != kNoSession && s.shell.value_or(true); });
}

std::vector<BYTE> MakeSid(uint64_t authority, const std::vector<DWORD>& subAuthorities) {
    std::vector<BYTE> sid(8 + 4 * subAuthorities.size());
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(subAuthorities.size());
    for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    for (size_t i = 0; i < subAuthorities.size(); ++i)
        for (int b = 0; b < 4; ++b) sid[8 + 4 * i + b] = static_cast<BYTE>(subAuthorities[i] >> (8 * b));
    return sid;
}

std::vector<std::string> SessionEnvironment() {
    return With([](SessionState& s) {
        std::vector<std::string> env;
        env.push_back("PLATFORM_CONSOLE_SESSION=" + std::to_string(s.consoleSession));
        env.push_back("PLATFORM_CONSOLE_USER=" + s.consoleUser);
        if (s.shell) env.push_back(std::string("PLATFORM_SHELL=") + (*s.shell ? "1" : "0"));
        return env;
    });
}

void ResetSessionControls() {
    With([](SessionState& s) { Load(s); });
}

}  // namespace platform

namespace platform::testing {

void SetConsoleSession(DWORD session) {
    With([&](SessionState& s) { s.consoleSession = session; });
}
void SetConsoleUser(const std::string& name) {
    With([&](SessionState& s) { s.consoleUser = name; });
}
void SetShellRunning(bool running) {
    With([&](SessionState& s) { s.shell = running; });
}

}  // namespace platform::testing
