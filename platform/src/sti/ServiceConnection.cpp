#include "sti/ServiceConnection.h"

#include <platform/testing.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace platform::sti {
namespace {

constexpr auto kStartWait = std::chrono::seconds(60);
constexpr auto kStopWait = std::chrono::seconds(10);

// The host program beside this library.
std::string HostProgram() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&HostProgram), &info) == 0 || info.dli_fname == nullptr) return "imgsvc";
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/imgsvc";
}

// The host gets the machine's settings, but none of the test controls that
// make a caller's own calls fail or answer message boxes.
std::vector<std::string> HostEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "PLATFORM_", 9) != 0) env.emplace_back(*e);
    }
    for (const std::string& setting : platform::testing::ChildEnvironment()) {
        if (setting.rfind("PLATFORM_FAIL=", 0) == 0 || setting.rfind("PLATFORM_MSGBOX=", 0) == 0 ||
            setting.rfind("PLATFORM_HIDE=", 0) == 0) {
            continue;
        }
        env.push_back(setting);
    }
    return env;
}

bool Spawn(const std::string& root) {
    const std::string program = HostProgram();
    std::vector<std::string> args{program, "--root", root};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = HostEnvironment();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    // The host outlives the process that starts it and logs to its own file:
    // it keeps none of the starter's standard streams (a pipe a test reads
    // to its end would never close).
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return false;
    // Reaped whenever it ends, so no process is left behind as a zombie.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

class FileLock {
public:
    explicit FileLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

}  // namespace

bool EnsureHost(const std::string& root) {
    const std::string socket = SocketPath(root);
    if (int fd = ConnectTo(socket); fd >= 0) {
        ::close(fd);
        return true;
    }
    ::mkdir(ServicesFolder(root).c_str(), 0777);
    FileLock starting(StartLockPath(root));
    if (int fd = ConnectTo(socket); fd >= 0) {
        ::close(fd);
        return true;
    }
    if (!Spawn(root)) return false;
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (int fd = ConnectTo(socket); fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void StopHost(const std::string& root) {
    const int fd = ConnectTo(SocketPath(root));
    if (fd < 0) return;
    Writer stop;
    stop.U32(static_cast<uint32_t>(Op::Stop));
    SendFrame(fd, stop.Body());
    ReceiveFrame(fd);
    ::close(fd);
    // The host holds its lock file for its whole life.
    const int lock = ::open(HostLockPath(root).c_str(), O_RDWR | O_CLOEXEC);
    if (lock < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(lock);
}

void NotifyDevicesChanged(const std::string& root) {
    const int fd = ConnectTo(SocketPath(root));
    if (fd < 0) return;
    Writer changed;
    changed.U32(static_cast<uint32_t>(Op::DevicesChanged));
    if (SendFrame(fd, changed.Body())) ReceiveFrame(fd);
    ::close(fd);
}

ServiceConnection::ServiceConnection() {
    const std::string root = platform::testing::Root();
    if (EnsureHost(root)) fd_ = ConnectTo(SocketPath(root));
}

ServiceConnection::~ServiceConnection() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::vector<uint8_t>> ServiceConnection::Call(const Writer& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return std::nullopt;
    if (!SendFrame(fd_, request.Body())) return std::nullopt;
    return ReceiveFrame(fd_);
}

}  // namespace platform::sti
