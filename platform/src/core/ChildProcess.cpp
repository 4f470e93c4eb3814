// Child-process tests: roles registered by name, run when the program is
// started with PLATFORM_TEST_CHILD=<role>, and the parent's handle on a child.
#include <platform/testing.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

extern char** environ;

namespace platform::testing {
namespace {

constexpr const char* kRoleVariable = "PLATFORM_TEST_CHILD";

struct Roles {
    std::mutex lock;
    std::map<std::string, ChildRole> roles;
};

Roles& GetRoles() {
    static Roles* roles = new Roles;
    return *roles;
}

std::string SelfPath() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    return std::string(path, static_cast<size_t>(n));
}

void SetPair(std::vector<std::string>& env, const std::string& pair) {
    const std::string name = pair.substr(0, pair.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.compare(0, name.size(), name) == 0; });
    env.push_back(pair);
}

// The parent's environment without its platform controls, then the child's.
std::vector<std::string> ChildEnvironmentFor(const std::string& role, const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "PLATFORM_", 9) != 0) env.emplace_back(*e);
    for (const auto& pair : ChildEnvironment()) SetPair(env, pair);
    for (const auto& pair : extra) SetPair(env, pair);
    SetPair(env, std::string(kRoleVariable) + "=" + role);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool RegisterChildRole(const std::string& name, ChildRole role) {
    Roles& roles = GetRoles();
    std::lock_guard guard(roles.lock);
    return roles.roles.emplace(name, role).second;
}

std::optional<int> RunChildRoleFromEnvironment(int argc, char** argv) {
    const char* name = std::getenv(kRoleVariable);
    if (name == nullptr || *name == '\0') return std::nullopt;
    ChildRole role = nullptr;
    {
        Roles& roles = GetRoles();
        std::lock_guard guard(roles.lock);
        auto it = roles.roles.find(name);
        if (it != roles.roles.end()) role = it->second;
    }
    if (role == nullptr) return 127;
    return role(std::vector<std::string>(argv + 1, argv + argc));
}

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args,
                           const std::string& program, const std::vector<std::string>& environment) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    std::string path = program.empty() ? SelfPath() : program;
    std::vector<std::string> argvStrings{path};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = ChildEnvironmentFor(role, environment);
    auto argvPointers = Pointers(argvStrings);
    auto envPointers = Pointers(envStrings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return;
    }
    pid_ = pid;
    toChild_ = in[1];
    fromChild_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        Kill();
        Wait();
    }
    if (toChild_ >= 0) ::close(toChild_);
    if (fromChild_ >= 0) ::close(fromChild_);
}

std::optional<std::string> ChildProcess::ReadLine() {
    for (;;) {
        auto end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        if (fromChild_ < 0) return std::nullopt;
        char chunk[256];
        ssize_t n = ::read(fromChild_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (buffered_.empty()) return std::nullopt;
            return std::exchange(buffered_, {});
        }
        buffered_.append(chunk, static_cast<size_t>(n));
    }
}

bool ChildProcess::WriteLine(const std::string& line) {
    if (toChild_ < 0) return false;
    std::string data = line + "\n";
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(toChild_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

int ChildProcess::Wait() {
    if (status_) return *status_;
    if (pid_ <= 0) return -1;
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0)
        if (errno != EINTR) return -1;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : -1;
    return *status_;
}

void ChildProcess::Kill(int signal) {
    if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

}  // namespace platform::testing
